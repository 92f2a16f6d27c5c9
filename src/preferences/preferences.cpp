#include "preferences.h"

#include "common/graphemes.h"
#include "common/logging.h"

#include <QDir>
#include <QStandardPaths>
#include <QVariant>

#include <limits>

namespace corvane {

namespace {

const QString expansionPrefixDefault = QStringLiteral("::");
constexpr qsizetype expansionPrefixMaxCharacters = 8;

// QSettings' INI backend reads every scalar back as text, so the text it writes for a
// boolean counts as a boolean; any other text ("yes", "1") is another writer's mistake.
std::optional<bool> storedBool(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (text == u"true")
            return true;
        if (text == u"false")
            return false;
    }
    return std::nullopt;
}

// Only the digits QSettings writes for an integer: no sign other than '-', no spaces, no
// fraction or exponent, and within the range of the property.
std::optional<int> storedInt(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong: {
        const qlonglong number = value.toLongLong();
        if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
            return std::nullopt;
        return int(number);
    }
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong number = value.toULongLong();
        if (number > qulonglong(std::numeric_limits<int>::max()))
            return std::nullopt;
        return int(number);
    }
    case QMetaType::QString: {
        const QString text = value.toString();
        const QStringView digits = text.startsWith(u'-') ? QStringView(text).mid(1) : text;
        if (digits.isEmpty())
            return std::nullopt;
        for (QChar c : digits) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
        }
        bool ok = false;
        const int number = text.toInt(&ok);
        if (!ok)
            return std::nullopt;
        return number;
    }
    default:
        return std::nullopt;
    }
}

std::optional<QString> storedString(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    return std::nullopt;
}

// The INI backend writes a one-element list as its only element and the empty list as an
// invalid value, so both read back in those shapes.
std::optional<QStringList> storedStringList(const QVariant &value, bool present)
{
    switch (value.typeId()) {
    case QMetaType::QStringList:
        return value.toStringList();
    case QMetaType::QString:
        return QStringList { value.toString() };
    case QMetaType::QVariantList: {
        QStringList list;
        for (const QVariant &element : value.toList()) {
            if (element.typeId() != QMetaType::QString)
                return std::nullopt;
            list.append(element.toString());
        }
        return list;
    }
    case QMetaType::UnknownType:
        if (present)
            return QStringList();
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

template <typename Map> std::optional<Preferences::StringMap> stringMapFrom(const Map &map)
{
    Preferences::StringMap result;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.value().typeId() != QMetaType::QString)
            return std::nullopt;
        result.insert(it.key(), it.value().toString());
    }
    return result;
}

std::optional<Preferences::StringMap> storedStringMap(const QVariant &value)
{
    if (value.typeId() == QMetaType::QVariantMap)
        return stringMapFrom(value.toMap());
    if (value.typeId() == QMetaType::QVariantHash)
        return stringMapFrom(value.toHash());
    return std::nullopt;
}

QVariantMap toVariantMap(const Preferences::StringMap &map)
{
    QVariantMap result;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        result.insert(it.key(), it.value());
    return result;
}

QString describe(QSettings::Status status, const QString &path)
{
    switch (status) {
    case QSettings::AccessError:
        return QStringLiteral("the file %1 cannot be accessed").arg(path);
    case QSettings::FormatError:
        return QStringLiteral("the file %1 is not a valid settings file").arg(path);
    case QSettings::NoError:
        break;
    }
    return QStringLiteral("no error");
}

} // namespace

Preferences::Preferences(const QString &settingsPath, QObject *parent)
    : QObject(parent)
    , m_defaults(std::make_unique<QSettings>(settingsPath, QSettings::IniFormat))
{
    if (m_defaults->status() != QSettings::NoError) {
        qCWarning(lcPreferences).noquote() << "Could not read the settings, using the defaults:"
                                           << describe(m_defaults->status(), settingsPath);
    }

    const auto value = [this](const char *key) { return m_defaults->value(QLatin1String(key)); };
    const auto present
        = [this](const char *key) { return m_defaults->contains(QLatin1String(key)); };

    m_launchesAtLogin = storedBool(value("launchesAtLogin")).value_or(false);
    m_capturesImages = storedBool(value("capturesImages")).value_or(true);
    m_fetchesLinkPreviews = storedBool(value("fetchesLinkPreviews")).value_or(true);
    m_keepsClipboardAlive = storedBool(value("keepsClipboardAlive")).value_or(true);
    m_recognizesTextInImages = storedBool(value("recognizesTextInImages")).value_or(true);
    m_pastesPlainText = storedBool(value("pastesPlainText")).value_or(false);
    m_pastesOnSelect = storedBool(value("pastesOnSelect")).value_or(true);
    m_itemLimit = storedInt(value("itemLimit")).value_or(0);
    m_dayLimit = storedInt(value("dayLimit")).value_or(0);
    m_ignoresSecretLookingText = storedBool(value("ignoresSecretLookingText")).value_or(true);
    m_ignoredBundleIDs = storedStringList(value("ignoredBundleIDs"), present("ignoredBundleIDs"))
                             .value_or(defaultIgnoredBundleIDs());
    const std::optional<QString> hotkeyText = storedString(value("hotkey"));
    m_hotkey = (hotkeyText ? HotkeyCombination::fromRawValue(*hotkeyText) : std::nullopt)
                   .value_or(defaultHotkeyCombination);
    m_showsDockIcon = storedBool(value("showsDockIcon")).value_or(false);
    // Without a dock icon the menu bar icon is the only way in, so it is forced on; this
    // applies only when loading, so the settings window can still show what it assigns.
    m_showsMenuBarIcon = storedBool(value("showsMenuBarIcon")).value_or(true) || !m_showsDockIcon;
    m_menuBarRecentCount = storedInt(value("menuBarRecentCount")).value_or(5);
    m_agentRegisteredBuild = storedString(value("agentRegisteredBuild"));
    m_expandsSnippets = storedBool(value("expandsSnippets")).value_or(false);
    m_expansionPrefix = normalizedExpansionPrefix(
        storedString(value("expansionPrefix")).value_or(expansionPrefixDefault));
    m_expansionIgnoredBundleIDs
        = storedStringList(value("expansionIgnoredBundleIDs"), present("expansionIgnoredBundleIDs"))
              .value_or(QStringList());
    m_expandsEmoji = storedBool(value("expandsEmoji")).value_or(false);
    m_emojiAliases = storedStringMap(value("emojiAliases")).value_or(StringMap());
    // Off until the user turns it on: a packaged build is updated by the package manager,
    // and nothing goes over the network unasked.
    m_automaticallyChecksForUpdates
        = storedBool(value("automaticallyChecksForUpdates")).value_or(false);
}

Preferences::~Preferences() = default;

QString Preferences::defaultSettingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Corvane/Corvane.conf");
}

QStringList Preferences::defaultIgnoredBundleIDs()
{
    return {
        // The identifiers these applications have on other desktop systems.
        QStringLiteral("com.agilebits.onepassword7"),
        QStringLiteral("com.1password.1password"),
        QStringLiteral("com.apple.keychainaccess"),
        QStringLiteral("com.bitwarden.desktop"),
        QStringLiteral("com.dashlane.Dashlane"),
        QStringLiteral("com.lastpass.LastPass"),
        QStringLiteral("in.sinew.Enpass-Desktop"),
        QStringLiteral("org.keepassxc.keepassxc"),
        QStringLiteral("com.mackeeper.MacKeeper"),
        // The same kind of application as a Linux workspace names it: the desktop entry id
        // when one matches the window, else its WM_CLASS, in the spellings in use.
        QStringLiteral("org.keepassxc.KeePassXC"),
        QStringLiteral("KeePassXC"),
        QStringLiteral("keepassxc"),
        QStringLiteral("keepass2"),
        QStringLiteral("KeePass2"),
        QStringLiteral("bitwarden"),
        QStringLiteral("Bitwarden"),
        QStringLiteral("1password"),
        QStringLiteral("1Password"),
        QStringLiteral("enpass"),
        QStringLiteral("Enpass"),
        QStringLiteral("org.gnome.seahorse.Application"),
        QStringLiteral("seahorse"),
        QStringLiteral("Seahorse"),
        QStringLiteral("org.kde.kwalletmanager5"),
        QStringLiteral("kwalletmanager5"),
        QStringLiteral("org.kde.kwalletmanager"),
        QStringLiteral("kwalletmanager"),
        QStringLiteral("org.gnome.World.Secrets"),
        QStringLiteral("org.gnome.PasswordSafe"),
        QStringLiteral("keeweb"),
        QStringLiteral("KeeWeb"),
        QStringLiteral("qtpass"),
        QStringLiteral("QtPass"),
    };
}

QString Preferences::normalizedExpansionPrefix(const QString &prefix)
{
    QString compact;
    compact.reserve(prefix.size());
    for (QChar c : prefix) {
        if (!c.isSpace())
            compact.append(c);
    }
    if (compact.isEmpty())
        return expansionPrefixDefault;
    return leftGraphemes(compact, expansionPrefixMaxCharacters);
}

template <typename T>
void Preferences::assign(T &field, const T &value, void (Preferences::*changed)(),
    const QString &key, const QVariant &stored)
{
    const bool differs = !(field == value);
    field = value;
    write(key, stored);
    if (differs)
        Q_EMIT(this->*changed)();
}

void Preferences::write(const QString &key, const QVariant &value)
{
    m_defaults->setValue(key, value);
    flush();
}

void Preferences::remove(const QString &key)
{
    m_defaults->remove(key);
    flush();
}

// Written at once rather than when QSettings gets round to it, so another process (the
// next start, or one reading the file now) sees every assignment; QSettings replaces the
// file atomically under a lock file, so no reader ever sees half of it.
void Preferences::flush()
{
    // Taken first: a failed save may have dropped what QSettings held.
    std::vector<std::pair<QString, QVariant>> values;
    for (const QString &key : m_defaults->allKeys())
        values.emplace_back(key, m_defaults->value(key));
    // QSettings keeps its first error for good: after a failure, a new one is needed to
    // tell whether this save worked.
    if (m_saveFailed)
        startOver(values);
    m_defaults->sync();
    QSettings::Status status = m_defaults->status();
    // QSettings never writes over a file it cannot parse. One broken by something else is
    // kept aside and replaced by the values in use.
    if (status == QSettings::FormatError) {
        qCWarning(lcPreferences).noquote()
            << "Could not save the settings:" << describe(status, settingsPath());
        const QString kept = settingsPath() + QStringLiteral(".broken");
        QFile::remove(kept);
        if (QFile::rename(settingsPath(), kept)) {
            qCWarning(lcPreferences).noquote()
                << "The unreadable settings file is kept as" << kept << "and written anew";
        }
        startOver(values);
        m_defaults->sync();
        status = m_defaults->status();
    }
    m_saveFailed = status != QSettings::NoError;
    if (m_saveFailed) {
        qCWarning(lcPreferences).noquote()
            << "Could not save the settings:" << describe(status, settingsPath());
    }
}

// The values in use move to a new QSettings, which has no error yet.
void Preferences::startOver(const std::vector<std::pair<QString, QVariant>> &values)
{
    const QString path = settingsPath();
    m_defaults.reset();
    m_defaults = std::make_unique<QSettings>(path, QSettings::IniFormat);
    for (const auto &[key, value] : values)
        m_defaults->setValue(key, value);
}

void Preferences::setLaunchesAtLogin(bool value)
{
    assign(m_launchesAtLogin, value, &Preferences::launchesAtLoginChanged,
        QStringLiteral("launchesAtLogin"), value);
}

void Preferences::setCapturesImages(bool value)
{
    assign(m_capturesImages, value, &Preferences::capturesImagesChanged,
        QStringLiteral("capturesImages"), value);
}

void Preferences::setFetchesLinkPreviews(bool value)
{
    assign(m_fetchesLinkPreviews, value, &Preferences::fetchesLinkPreviewsChanged,
        QStringLiteral("fetchesLinkPreviews"), value);
}

void Preferences::setKeepsClipboardAlive(bool value)
{
    assign(m_keepsClipboardAlive, value, &Preferences::keepsClipboardAliveChanged,
        QStringLiteral("keepsClipboardAlive"), value);
}

void Preferences::setRecognizesTextInImages(bool value)
{
    assign(m_recognizesTextInImages, value, &Preferences::recognizesTextInImagesChanged,
        QStringLiteral("recognizesTextInImages"), value);
}

void Preferences::setPastesPlainText(bool value)
{
    assign(m_pastesPlainText, value, &Preferences::pastesPlainTextChanged,
        QStringLiteral("pastesPlainText"), value);
}

void Preferences::setPastesOnSelect(bool value)
{
    assign(m_pastesOnSelect, value, &Preferences::pastesOnSelectChanged,
        QStringLiteral("pastesOnSelect"), value);
}

void Preferences::setItemLimit(int value)
{
    assign(m_itemLimit, value, &Preferences::itemLimitChanged, QStringLiteral("itemLimit"), value);
}

void Preferences::setDayLimit(int value)
{
    assign(m_dayLimit, value, &Preferences::dayLimitChanged, QStringLiteral("dayLimit"), value);
}

void Preferences::setIgnoresSecretLookingText(bool value)
{
    assign(m_ignoresSecretLookingText, value, &Preferences::ignoresSecretLookingTextChanged,
        QStringLiteral("ignoresSecretLookingText"), value);
}

void Preferences::setIgnoredBundleIDs(const QStringList &value)
{
    assign(m_ignoredBundleIDs, value, &Preferences::ignoredBundleIDsChanged,
        QStringLiteral("ignoredBundleIDs"), value);
}

void Preferences::setHotkey(const HotkeyCombination &value)
{
    assign(
        m_hotkey, value, &Preferences::hotkeyChanged, QStringLiteral("hotkey"), value.rawValue());
}

void Preferences::setShowsDockIcon(bool value)
{
    assign(m_showsDockIcon, value, &Preferences::showsDockIconChanged,
        QStringLiteral("showsDockIcon"), value);
}

void Preferences::setShowsMenuBarIcon(bool value)
{
    assign(m_showsMenuBarIcon, value, &Preferences::showsMenuBarIconChanged,
        QStringLiteral("showsMenuBarIcon"), value);
}

void Preferences::setMenuBarRecentCount(int value)
{
    assign(m_menuBarRecentCount, value, &Preferences::menuBarRecentCountChanged,
        QStringLiteral("menuBarRecentCount"), value);
}

void Preferences::setAgentRegisteredBuild(const std::optional<QString> &value)
{
    const bool differs = m_agentRegisteredBuild != value;
    m_agentRegisteredBuild = value;
    if (value)
        write(QStringLiteral("agentRegisteredBuild"), *value);
    else
        remove(QStringLiteral("agentRegisteredBuild"));
    if (differs)
        Q_EMIT agentRegisteredBuildChanged();
}

void Preferences::setExpandsSnippets(bool value)
{
    assign(m_expandsSnippets, value, &Preferences::expandsSnippetsChanged,
        QStringLiteral("expandsSnippets"), value);
}

void Preferences::setExpansionPrefix(const QString &value)
{
    const QString normalized = normalizedExpansionPrefix(value);
    assign(m_expansionPrefix, normalized, &Preferences::expansionPrefixChanged,
        QStringLiteral("expansionPrefix"), normalized);
}

void Preferences::setExpansionIgnoredBundleIDs(const QStringList &value)
{
    assign(m_expansionIgnoredBundleIDs, value, &Preferences::expansionIgnoredBundleIDsChanged,
        QStringLiteral("expansionIgnoredBundleIDs"), value);
}

void Preferences::setExpandsEmoji(bool value)
{
    assign(m_expandsEmoji, value, &Preferences::expandsEmojiChanged, QStringLiteral("expandsEmoji"),
        value);
}

void Preferences::setEmojiAliases(const StringMap &value)
{
    assign(m_emojiAliases, value, &Preferences::emojiAliasesChanged, QStringLiteral("emojiAliases"),
        toVariantMap(value));
}

void Preferences::setAutomaticallyChecksForUpdates(bool value)
{
    assign(m_automaticallyChecksForUpdates, value,
        &Preferences::automaticallyChecksForUpdatesChanged,
        QStringLiteral("automaticallyChecksForUpdates"), value);
}

} // namespace corvane
