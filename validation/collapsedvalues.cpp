#include "collapsedvalues.h"

#include <libxml/parser.h>
#include <libxml/schemasInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlschemastypes.h>

#include <cstring>

namespace {

const char kXsdNs[] = "http://www.w3.org/2001/XMLSchema";

struct DocDeleter
{
    void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
};

struct XmlFree
{
    void operator()(xmlChar *s) const { xmlFree(s); }
};
using XmlString = std::unique_ptr<xmlChar, XmlFree>;

QByteArray attribute(xmlNodePtr node, const char *name)
{
    XmlString value(xmlGetProp(node, BAD_CAST name));
    return value ? QByteArray(reinterpret_cast<const char *>(value.get())) : QByteArray();
}

bool isXsd(xmlNodePtr node, const char *localName)
{
    return node->type == XML_ELEMENT_NODE && node->ns && xmlStrEqual(node->ns->href, BAD_CAST kXsdNs)
        && xmlStrEqual(node->name, BAD_CAST localName);
}

xmlSchemaTypeType facetType(const xmlChar *name, bool &known)
{
    static const struct
    {
        const char *name;
        xmlSchemaTypeType type;
    } facets[] = {
        { "pattern", XML_SCHEMA_FACET_PATTERN },
        { "enumeration", XML_SCHEMA_FACET_ENUMERATION },
        { "minInclusive", XML_SCHEMA_FACET_MININCLUSIVE },
        { "maxInclusive", XML_SCHEMA_FACET_MAXINCLUSIVE },
        { "minExclusive", XML_SCHEMA_FACET_MINEXCLUSIVE },
        { "maxExclusive", XML_SCHEMA_FACET_MAXEXCLUSIVE },
        { "totalDigits", XML_SCHEMA_FACET_TOTALDIGITS },
        { "fractionDigits", XML_SCHEMA_FACET_FRACTIONDIGITS },
        { "length", XML_SCHEMA_FACET_LENGTH },
        { "minLength", XML_SCHEMA_FACET_MINLENGTH },
        { "maxLength", XML_SCHEMA_FACET_MAXLENGTH },
    };
    for (const auto &f : facets) {
        if (xmlStrEqual(name, BAD_CAST f.name)) {
            known = true;
            return f.type;
        }
    }
    known = false;
    return XML_SCHEMA_FACET_WHITESPACE;
}

// The built-in types whose whitespace facet is not "collapse".
bool collapses(xmlSchemaTypePtr builtIn)
{
    switch (builtIn->builtInType) {
    case XML_SCHEMAS_STRING:
    case XML_SCHEMAS_NORMSTRING:
    case XML_SCHEMAS_ANYSIMPLETYPE:
    case XML_SCHEMAS_ANYTYPE:
        return false;
    default:
        return true;
    }
}

// One restriction as written: its base and its facets.
struct Restriction
{
    QByteArray baseNs;
    QByteArray baseName;
    std::vector<std::pair<xmlSchemaTypeType, QByteArray>> facets;
};

} // namespace

struct CollapsedValues::Step
{
    // Values are owned here: libxml2 frees a facet's compiled value, not its text.
    std::vector<QByteArray> values;
    std::vector<xmlSchemaFacetPtr> facets;

    ~Step()
    {
        for (xmlSchemaFacetPtr f : facets)
            xmlSchemaFreeFacet(f);
    }

    // Enumerations and patterns of one step are alternatives; every other facet must hold.
    bool accepts(xmlSchemaTypePtr builtIn, const xmlChar *value, xmlSchemaValPtr val) const
    {
        bool anyEnumeration = false, enumerationMatched = false;
        bool anyPattern = false, patternMatched = false;
        for (xmlSchemaFacetPtr f : facets) {
            const bool ok = xmlSchemaValidateFacet(builtIn, f, value, val) == 0;
            if (f->type == XML_SCHEMA_FACET_ENUMERATION) {
                anyEnumeration = true;
                enumerationMatched |= ok;
            } else if (f->type == XML_SCHEMA_FACET_PATTERN) {
                anyPattern = true;
                patternMatched |= ok;
            } else if (!ok) {
                return false;
            }
        }
        return (!anyEnumeration || enumerationMatched) && (!anyPattern || patternMatched);
    }
};

CollapsedValues::CollapsedValues(const QByteArray &xsd)
{
    std::unique_ptr<xmlDoc, DocDeleter> doc(xmlReadMemory(xsd.constData(), int(xsd.size()), nullptr, nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    const xmlNodePtr root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!root || !isXsd(root, "schema"))
        return;
    const QByteArray targetNs = attribute(root, "targetNamespace");

    QHash<QByteArray, Restriction> restrictions; // by "{ns}Name"
    for (xmlNodePtr type = root->children; type; type = type->next) {
        if (!isXsd(type, "simpleType"))
            continue;
        const QByteArray name = attribute(type, "name");
        xmlNodePtr restriction = type->children;
        while (restriction && !isXsd(restriction, "restriction"))
            restriction = restriction->next;
        if (name.isEmpty() || !restriction)
            continue;
        Restriction r;
        const QByteArray base = attribute(restriction, "base");
        const qsizetype colon = base.indexOf(':');
        const QByteArray prefix = colon < 0 ? QByteArray() : base.left(colon);
        r.baseName = base.mid(colon + 1);
        const xmlNsPtr ns = xmlSearchNs(doc.get(), restriction,
            prefix.isEmpty() ? nullptr : reinterpret_cast<const xmlChar *>(prefix.constData()));
        if (ns)
            r.baseNs = reinterpret_cast<const char *>(ns->href);
        for (xmlNodePtr f = restriction->children; f; f = f->next) {
            if (f->type != XML_ELEMENT_NODE || !f->ns || !xmlStrEqual(f->ns->href, BAD_CAST kXsdNs))
                continue;
            bool known = false;
            const xmlSchemaTypeType t = facetType(f->name, known);
            if (known)
                r.facets.emplace_back(t, attribute(f, "value"));
        }
        restrictions.insert('{' + targetNs + '}' + name, std::move(r));
    }

    for (auto it = restrictions.cbegin(); it != restrictions.cend(); ++it) {
        Type type;
        const Restriction *r = &it.value();
        // Follow the bases to the built-in; a loop or a missing base leaves the type out.
        for (qsizetype hops = 0; r && hops <= restrictions.size(); ++hops) {
            auto step = std::make_shared<Step>();
            for (const auto &[facetKind, value] : r->facets) {
                step->values.push_back(value);
                xmlSchemaFacetPtr facet = xmlSchemaNewFacet();
                if (!facet)
                    break;
                facet->type = facetKind;
                facet->value = reinterpret_cast<const xmlChar *>(step->values.back().constData());
                step->facets.push_back(facet);
            }
            type.steps.push_back(step);
            if (r->baseNs == kXsdNs) {
                type.builtIn = xmlSchemaGetPredefinedType(
                    reinterpret_cast<const xmlChar *>(r->baseName.constData()), BAD_CAST kXsdNs);
                break;
            }
            const auto base = restrictions.constFind('{' + r->baseNs + '}' + r->baseName);
            r = base != restrictions.cend() ? &base.value() : nullptr;
        }
        if (!type.builtIn || !collapses(type.builtIn))
            continue;
        bool compiled = true;
        for (const auto &step : type.steps) {
            for (xmlSchemaFacetPtr f : step->facets)
                compiled = compiled && xmlSchemaCheckFacet(f, type.builtIn, nullptr, nullptr) == 0;
        }
        if (compiled)
            m_types.insert(it.key(), std::move(type));
    }
}

CollapsedValues::~CollapsedValues() = default;

bool CollapsedValues::acceptsCollapsed(const QByteArray &typeName, const char *value) const
{
    if (!value)
        return false;
    Type builtInOnly;
    const Type *type = nullptr;
    if (typeName.startsWith("xs:")) {
        builtInOnly.builtIn = xmlSchemaGetPredefinedType(
            reinterpret_cast<const xmlChar *>(typeName.constData() + 3), BAD_CAST kXsdNs);
        if (builtInOnly.builtIn && collapses(builtInOnly.builtIn))
            type = &builtInOnly;
    } else {
        const auto it = m_types.constFind(typeName);
        if (it != m_types.cend())
            type = &it.value();
    }
    if (!type)
        return false;

    // Null when collapsing changes nothing: the validator has then judged the collapsed value.
    XmlString collapsed(xmlSchemaCollapseString(reinterpret_cast<const xmlChar *>(value)));
    if (!collapsed)
        return false;
    xmlSchemaValPtr val = nullptr;
    bool ok = xmlSchemaValPredefTypeNode(type->builtIn, collapsed.get(), &val, nullptr) == 0;
    for (const auto &step : type->steps) {
        if (!ok)
            break;
        ok = step->accepts(type->builtIn, collapsed.get(), val);
    }
    if (val)
        xmlSchemaFreeValue(val);
    return ok;
}
