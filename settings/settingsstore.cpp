#include "settings/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

#include "common/newfile.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QStringList trueValues{u"TRUE"_s, u"YES"_s, u"Y"_s};
const QStringList falseValues{u"FALSE"_s, u"NO"_s, u"N"_s};

int readInteger(const QString& text, int otherwise) {
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok ? n : otherwise;
}

} // namespace

SettingsStore::SettingsStore(const QString& folder, const QString& fileName, const QString& windowName,
                             Access access)
    : m_fileName(QFileInfo(fileName).fileName())
    , m_windowName(windowName)
    , m_readOnly(access == Access::ReadOnly) {
    const QString base = folder.endsWith(u'/') || folder.endsWith(u'\\') ? folder : QString(folder + u'/');
    m_path = base + m_fileName;
    load();
}

SettingsStore::~SettingsStore() {
    std::ignore = Flush();
}

void SettingsStore::load() {
    const QFileInfo info(m_path);
    if (!info.exists())
        return;
    // The owner's write bit, not isWritable(): run as root every file is writable.
    m_readOnly = m_readOnly || !info.permissions().testFlag(QFileDevice::WriteOwner);
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_readOnly = true;
        m_problem = u"Instellingenbestand %1 kan niet gelezen worden: %2"_s.arg(
            QDir::toNativeSeparators(m_path), file.errorString());
        return;
    }
    auto parsed = SettingsDocument::parse(file.readAll());
    file.close();
    if (parsed) {
        m_document = std::move(parsed).value();
        return;
    }
    if (m_readOnly) {
        m_problem = u"Instellingenbestand %1 is beschadigd (%2); standaardwaarden gebruikt"_s.arg(
            QDir::toNativeSeparators(m_path), parsed.message());
        return;
    }
    // Keep the damaged file for whoever wants to repair it; never over an earlier one.
    const QString folder = info.absolutePath() + u'/';
    for (int n = 1; n <= 1000; ++n) {
        const QString kept = folder + newfile::candidateName(m_fileName, u".bad"_s, n);
        if (QFileInfo::exists(kept))
            continue;
        if (QFile::rename(m_path, kept)) {
            m_problem =
                u"Instellingenbestand %1 is beschadigd (%2); bewaard als %3, standaardwaarden gebruikt"_s.arg(
                    QDir::toNativeSeparators(m_path), parsed.message(), QFileInfo(kept).fileName());
            return;
        }
        break;
    }
    // Not renamed: leave it as it is rather than write over it.
    m_readOnly = true;
    m_problem = u"Instellingenbestand %1 is beschadigd (%2); standaardwaarden gebruikt"_s.arg(
        QDir::toNativeSeparators(m_path), parsed.message());
}

bool SettingsStore::readBoolean(const QString& text) {
    if (trueValues.contains(text, Qt::CaseInsensitive))
        return true;
    if (falseValues.contains(text, Qt::CaseInsensitive))
        return false;
    return readInteger(text, -1) != 0;
}

Result<QString> SettingsStore::cleanName(const QString& name) {
    QString clean;
    clean.reserve(name.size());
    for (const QChar c : name) {
        if (c.isSpace())
            return Failure{
                1,
                u"XML Node names cannot contain white space and the WhiteSpaceReplacement property is empty. Please set the WhiteSpaceReplacementProperty to a non empty value."_s};
        const char16_t u = c.unicode();
        const bool allowed = (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') ||
                             (u >= u'0' && u <= u'9') || u == u'-' || u == u'.' || u == u':' || u == u'_';
        clean += allowed ? c : QChar(u'_');
    }
    return clean;
}

QString SettingsStore::windowPath() const {
    QString path = m_appStoragePath;
    path.replace(u"%FORM_NAME%"_s, m_windowName);
    if (!path.endsWith(u'\\'))
        path += u'\\';
    return path;
}

namespace {

Result<QStringList> pathParts(const QString& path, const QString& rootName) {
    QStringList parts = path.split(u'\\', Qt::SkipEmptyParts);
    if (!parts.isEmpty() && parts.first() == rootName)
        parts.removeFirst();
    for (QString& part : parts) {
        auto clean = SettingsStore::cleanName(part);
        if (!clean)
            return clean.failure();
        part = clean.value();
    }
    if (parts.isEmpty())
        return Failure{2, u"empty value path"_s};
    return parts;
}

} // namespace

const SettingsElement* SettingsStore::find(const QString& path) const {
    const auto parts = pathParts(path, m_document.root.name);
    if (!parts)
        return nullptr;
    const SettingsElement* e = &m_document.root;
    for (const QString& part : parts.value())
        if (!(e = e->child(part)))
            return nullptr;
    return e;
}

Result<void> SettingsStore::write(const QString& path, const QString& value) {
    const auto parts = pathParts(path, m_document.root.name);
    if (!parts)
        return parts.failure();
    SettingsElement* e = &m_document.root;
    for (const QString& part : parts.value())
        e = &e->ensureChild(part);
    e->value = value;
    return {};
}

bool SettingsStore::versionAllowsRestore() const {
    const SettingsElement* version = find(windowPath() + u"FormVersion"_s);
    return !version || readInteger(version->value, -1) >= 0;
}

void SettingsStore::apply(const StoredProp& prop, const SettingsElement& e) const {
    if (!prop.set)
        return;
    if (prop.kind == StoredProp::Kind::Boolean)
        prop.set(readBoolean(e.value));
    else
        prop.set(e.value);
}

void SettingsStore::Restore() {
    if (!versionAllowsRestore())
        return;
    const QString window = windowPath();
    for (const StoredProp& prop : std::as_const(m_props))
        if (const SettingsElement* e = find(window + prop.control + u'_' + prop.property))
            apply(prop, *e);
    m_restored = true;
    m_saved = false;
}

void SettingsStore::takeMoved(const QList<StoredProp>& moved) {
    const bool applies = versionAllowsRestore();
    const QString window = windowPath();
    for (const StoredProp& prop : moved) {
        const auto parts = pathParts(window + prop.control + u'_' + prop.property, m_document.root.name);
        if (!parts)
            continue;
        SettingsElement* parent = &m_document.root;
        for (qsizetype i = 0; parent && i + 1 < parts.value().size(); ++i)
            parent = parent->child(parts.value()[i]);
        if (!parent)
            continue;
        // Every element of that name goes, so no copy of the old value is left behind to read.
        auto& siblings = parent->children;
        const QString& name = parts.value().last();
        const auto first = std::find_if(siblings.cbegin(), siblings.cend(),
                                        [&name](const SettingsElement& e) { return e.name == name; });
        if (first == siblings.cend())
            continue;
        if (applies)
            apply(prop, *first);
        siblings.removeIf([&name](const SettingsElement& e) { return e.name == name; });
    }
}

void SettingsStore::Save() {
    const QString window = windowPath();
    std::ignore = write(window + u"FormVersion"_s, u"0"_s);
    m_saved = true;
    if (!m_restored)
        return;
    for (const StoredProp& prop : std::as_const(m_props)) {
        if (!prop.get)
            continue;
        const QVariant value = prop.get();
        const QString text = prop.kind == StoredProp::Kind::Boolean
                                 ? (value.toBool() ? u"TRUE"_s : u"FALSE"_s)
                                 : value.toString();
        std::ignore = write(window + prop.control + u'_' + prop.property, text);
    }
}

void SettingsStore::saveIfNeeded() {
    if (!m_saved)
        Save();
}

Result<void> SettingsStore::Flush() {
    if (m_readOnly)
        return {};
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath()))
        return Failure{1,
                       u"Cannot create folder \"%1\""_s.arg(QDir::toNativeSeparators(info.absolutePath()))};
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return Failure{2, file.errorString()};
    const QByteArray bytes = m_document.toBytes();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return Failure{3, file.errorString()};
    }
    if (!file.commit())
        return Failure{4, file.errorString()};
    return {};
}
