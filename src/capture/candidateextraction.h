#pragma once

#include "platform/pasteboardsnapshot.h"
#include "platform/workspace.h"
#include "store/clipcandidate.h"

#include <QSet>
#include <QString>
#include <QUrl>

#include <optional>

namespace corvane {

// The candidate for what the clipboard holds, looking for files first, then text (a link, a
// colour or plain text), then an image. Nothing when there is no usable content, when the
// source application is ignored, when the owner marked the copy concealed or
// auto-generated, or when the text looks like a secret (and that check is enabled).
std::optional<ClipCandidate> captureCandidate(const PasteboardSnapshot &pasteboard,
    const std::optional<RunningApplication> &frontmostApplication,
    const QSet<QString> &ignoredBundleIDs, bool ignoresSecretLookingText, bool capturesImages);

// Whether enabled and the trimmed text is a single token of 20 to 200 characters, not a URL
// with a scheme, mixing at least three of lower case, upper case, digits and other
// characters.
bool looksLikeSecret(const QString &text, bool enabled);

// The URL a text names when it is a web, FTP or mail link: no white space, a scheme among
// http, https, ftp and mailto, and a host unless it is mailto. Otherwise nothing.
std::optional<QUrl> recognizeLink(const QString &text);

// "#" and the digits as typed when the trimmed text is "#" followed by 3, 6 or 8
// hexadecimal digits (full-width digits count too). Otherwise nothing.
std::optional<QString> recognizeColor(const QString &text);

} // namespace corvane
