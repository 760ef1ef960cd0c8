#include "hostile.h"

#include "tests/support/oneline.h"
#include "tests/support/testfiles.h"

#include <QDir>
#include <QFile>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hostile {

using testsupport::readAll;
using testsupport::writeAll;

namespace {

QString g_skipReason;

const QByteArray kCreditTransferNs = "urn:iso:std:iso:20022:tech:xsd:pain.001.001.09";

QByteArray documentWith(const QByteArray &prolog, const QByteArray &content)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + prolog + "<Document xmlns=\"" + kCreditTransferNs
        + "\"><CstmrCdtTrfInitn>" + content + "</CstmrCdtTrfInitn></Document>\n";
}

// The valid payment with its transactions repeated until it reaches minBytes, written on one line
// or as it is, each transaction first changed by change.
QByteArray manyTransactions(
    qsizetype minBytes, bool oneLine, const std::function<QByteArray(QByteArray)> &change)
{
    QByteArray text = validPayment();
    if (oneLine) {
        text = testsupport::oneLine(text).trimmed();
    }
    const qsizetype first = text.indexOf("<CdtTrfTxInf>");
    const qsizetype end = text.lastIndexOf("</CdtTrfTxInf>") + qsizetype(sizeof "</CdtTrfTxInf>" - 1);
    const QByteArray transactions = change(text.mid(first, end - first));
    const qsizetype copies = (minBytes - text.size()) / transactions.size() + 1;
    return text.left(first) + transactions.repeated(copies) + text.mid(end);
}

QByteArray replaceFirst(QByteArray text, const QByteArray &before, const QByteArray &after)
{
    const qsizetype at = text.indexOf(before);
    return at < 0 ? text : text.replace(at, before.size(), after);
}

QByteArray unchanged(QByteArray transactions)
{
    return transactions;
}

QByteArray utf16le(const QString &text)
{
    QByteArray out("\xFF\xFE", 2);
    for (const QChar c : text) {
        out += char(c.unicode() & 0xFF);
        out += char(c.unicode() >> 8);
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------------------------------------

Traps::Traps(const QString &folder)
    : m_folder(folder)
    , m_watchedFile(QDir(folder).filePath(QStringLiteral("secret.txt")))
{
    static_cast<void>(writeAll(m_watchedFile, "secret: nothing may read this\n")); // warns on failure
    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener >= 0
        && (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(m_listener, 16) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)) {
        ::close(m_listener);
        m_listener = -1;
    }
    m_port = ntohs(address.sin_port);
}

Traps::~Traps()
{
    if (m_inotify >= 0)
        ::close(m_inotify);
    if (m_listener >= 0)
        ::close(m_listener);
}

QString Traps::listenerUrl(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(path);
}

void Traps::arm()
{
    if (m_watch >= 0)
        inotify_rm_watch(m_inotify, m_watch);
    readEvents();
    m_opened.clear();
    m_changed.clear();
    m_watch = inotify_add_watch(m_inotify, QFile::encodeName(m_folder).constData(),
        IN_OPEN | IN_ACCESS | IN_CREATE | IN_MODIFY | IN_ATTRIB | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO
            | IN_CLOSE_WRITE);
}

void Traps::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            // Events of the folder itself (it is opened to list it) carry no name; only files count.
            const QString name = event->len ? QFile::decodeName(event->name) : QString();
            QStringList &list = (event->mask & (IN_OPEN | IN_ACCESS)) ? m_opened : m_changed;
            if (!name.isEmpty() && !list.contains(name))
                list.append(name);
            at += qsizetype(sizeof(inotify_event)) + event->len;
        }
    }
}

QStringList Traps::filesOpened(const QString &allowedName)
{
    readEvents();
    QStringList names = m_opened;
    names.removeAll(allowedName);
    return names;
}

QStringList Traps::filesChanged()
{
    readEvents();
    return m_changed;
}

bool Traps::connectionAttempted()
{
    pollfd p { m_listener, POLLIN, 0 };
    if (::poll(&p, 1, 0) <= 0)
        return false;
    const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection >= 0)
        ::close(connection);
    return true;
}

// ---------------------------------------------------------------------------------------------

QByteArray validPayment()
{
    return readAll(testsupport::dataFile(QStringLiteral("hardening/valid-credit-transfer.xml")));
}

QString skipReason()
{
    return g_skipReason;
}

QString makeFile(const QString &kind, const QString &folder, const Traps &traps)
{
    g_skipReason.clear();
    const QString path = QDir(folder).filePath(kind);
    const QByteArray watched = "file://" + QFile::encodeName(traps.watchedFile());
    const QByteArray valid = validPayment();
    QByteArray bytes;

    if (kind == u"billion-laughs") {
        // Ten levels of ten references each: 10^9 copies of "lol" if anything expanded them.
        QByteArray dtd = "<!DOCTYPE Document [\n<!ENTITY lol0 \"lol\">\n";
        for (int i = 1; i <= 9; ++i)
            dtd += "<!ENTITY lol" + QByteArray::number(i) + " \""
                + ("&lol" + QByteArray::number(i - 1) + ';').repeated(10) + "\">\n";
        bytes = documentWith(dtd + "]>\n", "&lol9;");
    } else if (kind == u"quadratic-blowup") {
        // One 100 kB entity referenced 100,000 times: 10 GB if expanded.
        bytes = documentWith("<!DOCTYPE Document [<!ENTITY a \"" + QByteArray(100000, 'a') + "\">]>\n",
            QByteArray("&a;").repeated(100000));
    } else if (kind == u"entity-etc-passwd") {
        bytes = documentWith("<!DOCTYPE Document [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n", "&x;");
    } else if (kind == u"entity-local-file") {
        bytes = documentWith("<!DOCTYPE Document [<!ENTITY x SYSTEM \"" + watched + "\">]>\n", "&x;");
    } else if (kind == u"entity-network-address") {
        bytes = documentWith("<!DOCTYPE Document [<!ENTITY x SYSTEM \"http://192.0.2.1/x\">]>\n", "&x;");
    } else if (kind == u"entity-listening-port") {
        bytes = documentWith("<!DOCTYPE Document [<!ENTITY x SYSTEM \""
                + traps.listenerUrl(QStringLiteral("x")).toUtf8() + "\">]>\n",
            "&x;");
    } else if (kind == u"external-dtd") {
        bytes = documentWith(
            "<!DOCTYPE Document SYSTEM \"" + traps.listenerUrl(QStringLiteral("d.dtd")).toUtf8() + "\">\n",
            QByteArray());
    } else if (kind == u"parameter-entity") {
        bytes = documentWith(
            "<!DOCTYPE Document [<!ENTITY % p SYSTEM \"" + watched + "\"> %p;]>\n", QByteArray());
    } else if (kind == u"schema-location-hints") {
        // The schema hints of a valid file point at a local file and at a listening port.
        bytes = valid;
        bytes.replace("xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"",
            "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:schemaLocation=\""
                + kCreditTransferNs + ' ' + traps.listenerUrl(QStringLiteral("s.xsd")).toUtf8()
                + "\" xsi:noNamespaceSchemaLocation=\"" + watched + '"');
    } else if (kind == u"xinclude") {
        bytes = valid;
        bytes.replace("<GrpHdr>",
            "<GrpHdr><xi:include xmlns:xi=\"http://www.w3.org/2001/XInclude\" href=\"" + watched
                + "\" parse=\"text\"/><xi:include xmlns:xi=\"http://www.w3.org/2001/XInclude\" href=\""
                + traps.listenerUrl(QStringLiteral("i.xml")).toUtf8() + "\"/>");
    } else if (kind == u"doctype-in-valid-file") {
        bytes = valid;
        bytes.replace("?>\n", "?>\n<!DOCTYPE Document>\n");
    } else if (kind == u"nested-100000") {
        bytes = "<Document xmlns=\"" + kCreditTransferNs + "\">" + QByteArray("<a>").repeated(100000)
            + QByteArray("</a>").repeated(100000) + "</Document>";
    } else if (kind == u"single-line-50mb") {
        bytes = manyTransactions(50 << 20, true, unchanged);
    } else if (kind == u"errors-on-one-line-10mb") {
        // An IBAN the pattern refuses in every transaction: some 10,000 errors on one line.
        bytes = manyTransactions(
            10 << 20, true, [](QByteArray t) { return t.replace("<IBAN>DE", "<IBAN>D-"); });
    } else if (kind == u"stray-text-in-every-transaction-10mb") {
        // Text where only elements may stand: each error points back to its transaction's start tag.
        bytes = manyTransactions(10 << 20, false, [](QByteArray t) {
            return t.replace(
                "</RmtInf>\n      </CdtTrfTxInf>", "</RmtInf>\n      stray\n      </CdtTrfTxInf>");
        });
    } else if (kind == u"distinct-siblings-100000") {
        QByteArray children;
        for (int i = 0; i < 100000; ++i)
            children += "<e" + QByteArray::number(i) + "/>";
        bytes = documentWith(QByteArray(), children);
    } else if (kind == u"text-node-50mb") {
        bytes = replaceFirst(valid, "<Ustrd>", "<Ustrd>" + QByteArray(50 << 20, 'x'));
    } else if (kind == u"attribute-10mb") {
        bytes = replaceFirst(valid, "Ccy=\"EUR\"", "Ccy=\"" + QByteArray(10 << 20, 'E') + '"');
    } else if (kind == u"attribute-9mb") {
        bytes = replaceFirst(valid, "Ccy=\"EUR\"", "Ccy=\"" + QByteArray(9500000, 'E') + '"');
    } else if (kind == u"nul-bytes") {
        bytes = valid;
        bytes.replace("<MsgId>", QByteArray("<MsgId>\0\0", 9));
    } else if (kind == u"invalid-utf8") {
        // Bytes that start no UTF-8 sequence, in a name and a remittance text.
        bytes = valid;
        bytes.replace("Lindenhof Gartenbau GmbH</Nm>", "Lindenhof \xFF\xFE Gartenbau GmbH</Nm>");
        bytes.replace("<Ustrd>", "<Ustrd>\xC3\x28 \xE2\x82 ");
    } else if (kind == u"unpaired-surrogates") {
        QString text = QString::fromUtf8(valid);
        text.replace(QStringLiteral("Lindenhof Gartenbau GmbH</Nm>"),
            QStringLiteral("Lindenhof ") + QChar(0xD800) + QStringLiteral(" Gartenbau GmbH</Nm>"));
        text.replace(QStringLiteral("<Ustrd>"), QStringLiteral("<Ustrd>") + QChar(0xDC00) + QChar(0xD83D));
        bytes = utf16le(text);
    } else if (kind == u"utf16-odd-length") {
        bytes = utf16le(QString::fromUtf8(valid)) + '\n';
    } else if (kind == u"utf8-bom-alone") {
        bytes = "\xEF\xBB\xBF";
    } else if (kind == u"utf16-bom-alone") {
        bytes = "\xFF\xFE";
    } else if (kind == u"empty") {
        bytes = QByteArray();
    } else if (kind == u"whitespace") {
        bytes = QByteArray(" \t\r\n").repeated(10000);
    } else if (kind == u"sparse-2gb") {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(2) << 30)) {
            g_skipReason = QStringLiteral("cannot make a 2 GB file here: %1").arg(file.errorString());
            return {};
        }
        return path;
    } else if (kind == u"directory") {
        QDir(folder).mkdir(kind);
        return path;
    } else if (kind == u"fifo") {
        if (::mkfifo(QFile::encodeName(path).constData(), 0644) != 0) {
            g_skipReason = QStringLiteral("mkfifo failed: %1").arg(QString::fromLocal8Bit(strerror(errno)));
            return {};
        }
        return path;
    } else if (kind == u"device") {
        return QStringLiteral("/dev/zero");
    } else if (kind == u"unreadable") {
        if (!writeAll(path, valid) || !QFile::setPermissions(path, QFileDevice::Permissions()))
            return {};
        return path;
    } else {
        g_skipReason = QStringLiteral("unknown kind ") + kind;
        return {};
    }
    if (!writeAll(path, bytes)) {
        g_skipReason = QStringLiteral("cannot write ") + path;
        return {};
    }
    return path;
}

} // namespace hostile
