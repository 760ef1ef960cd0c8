#pragma once
// Values of the schema's simple types whose built-in base collapses whitespace (dates, times,
// decimals, booleans, ...). libxml2 2.9 parses date and time values without collapsing them first,
// so "<Dt> 2026-12-14</Dt>" is refused although XSD allows it. When the validator refuses such a
// value, the value is checked again here as XSD defines it: collapsed, then against the built-in
// type and every facet of the derivation.

#include <QByteArray>
#include <QHash>
#include <memory>
#include <vector>

struct _xmlSchemaType;
struct _xmlSchemaFacet;

class CollapsedValues
{
public:
    // Reads the named simple types of a schema text; types that do not collapse are left out.
    explicit CollapsedValues(const QByteArray &xsd);
    ~CollapsedValues();
    CollapsedValues(const CollapsedValues &) = delete;
    CollapsedValues &operator=(const CollapsedValues &) = delete;

    // True when value, once its whitespace is collapsed, is a valid value of the type named as
    // libxml2 names it in its messages ("{namespace}Name" or "xs:date"). False when the type is
    // unknown here, does not collapse, or the value stays invalid.
    bool acceptsCollapsed(const QByteArray &typeName, const char *value) const;

private:
    struct Step; // the facets of one derivation step
    struct Type
    {
        _xmlSchemaType *builtIn = nullptr;
        std::vector<std::shared_ptr<Step>> steps;
    };
    QHash<QByteArray, Type> m_types;
};
