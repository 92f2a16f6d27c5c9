#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

namespace corvane {

// An image found on the clipboard: PNG bytes (as the owner offered them, or converted from
// TIFF) and the image's size in pixels.
struct PasteboardImage
{
    QByteArray png;
    QSize pixelSize;

    bool operator==(const PasteboardImage &) const = default;
};

// What the clipboard held at one moment, as far as capturing it needs: the type names
// offered, and the contents read in capture order (file URLs; else plain text; else, when
// there is no usable text and images were asked for, the image).
class PasteboardSnapshot
{
public:
    // The type names offered, without the protocol's pseudo-targets; empty when the
    // clipboard has no owner.
    QStringList types() const { return m_types; }
    // The file URLs offered, in clipboard order; empty when none.
    QList<QUrl> fileURLs() const { return m_fileURLs; }
    // The plain text as UTF-8, without the white space around it, or nothing.
    std::optional<QByteArray> utf8Text() const { return m_utf8Text; }
    // The same text decoded; a text of megabytes is better read as utf8Text, since the decoded
    // copy takes twice its size.
    std::optional<QString> string() const;
    // The raw bytes of a type that was read (the password-manager hint), or nothing.
    std::optional<QByteArray> data(const QString &type) const;
    // The image, or nothing.
    std::optional<PasteboardImage> image() const { return m_image; }

    // Whether the owner marked the copy as concealed or auto-generated, by the marker types
    // or by the password-manager hint "secret".
    bool isMarkedNotToRecord() const;
    // Whether the clipboard changed hands while it was read: the contents may mix two copies.
    // A reader sets it when it sees the change before the pasteboard's change count does.
    bool wasReplacedWhileRead() const { return m_replacedWhileRead; }

    void setTypes(const QStringList &types) { m_types = types; }
    void setFileURLs(const QList<QUrl> &urls) { m_fileURLs = urls; }
    void setUtf8Text(std::optional<QByteArray> text) { m_utf8Text = std::move(text); }
    void setData(const QString &type, const QByteArray &data) { m_data.insert(type, data); }
    void setImage(const std::optional<PasteboardImage> &image) { m_image = image; }
    void setReplacedWhileRead(bool replaced) { m_replacedWhileRead = replaced; }

    bool operator==(const PasteboardSnapshot &) const = default;

private:
    QStringList m_types;
    QList<QUrl> m_fileURLs;
    std::optional<QByteArray> m_utf8Text;
    QHash<QString, QByteArray> m_data;
    std::optional<PasteboardImage> m_image;
    bool m_replacedWhileRead = false;
};

struct PasteboardReadOptions
{
    // Whether image data is read when there is neither a file nor usable text.
    bool includesImages = true;

    bool operator==(const PasteboardReadOptions &) const = default;
};

// Fetches the bytes of one offered type; nothing when the owner does not deliver them.
using PasteboardFetch = std::function<std::optional<QByteArray>(const QString &type)>;

// Turns PNG or TIFF bytes (named by their type) into an image; nothing when undecodable.
using PasteboardImageDecoder
    = std::function<std::optional<PasteboardImage>(const QByteArray &data, const QString &type)>;

// Builds a snapshot from the offered types, fetching only what capturing needs, in its
// order: the password-manager hint; nothing more when the copy is marked not to be
// recorded; file URLs ("text/uri-list", else the GNOME file list); else the first plain text
// type that delivers; else, when images are wanted and the text is absent or blank, the PNG
// or, without PNG, the TIFF.
PasteboardSnapshot readPasteboard(const QStringList &offeredTypes, const PasteboardFetch &fetch,
    const PasteboardReadOptions &options, const PasteboardImageDecoder &decodeImage);

// The file URLs in a "text/uri-list" (or, with isGnomeList, "x-special/gnome-copied-files")
// payload, in order; other URLs and comment lines are skipped.
QList<QUrl> parseFileURLList(const QByteArray &list, bool isGnomeList = false);

// Whether a type name is one of the protocol's pseudo-targets rather than content.
bool isPseudoTarget(const QString &type);

} // namespace corvane
