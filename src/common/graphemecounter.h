#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace corvane {

// Counts the user-perceived characters (extended grapheme clusters) of a UTF-8 text handed
// over in pieces cut anywhere, even inside a character: the total equals graphemeCount of
// the whole text decoded at once, without ever holding more of it than one piece and the
// characters whose cluster may still go on. Like the stored text's readers, it ends at the
// first NUL byte.
class GraphemeCounter
{
public:
    // Takes the next piece of the text.
    void add(QByteArrayView utf8);
    // The count of everything added. Nothing may be added afterwards.
    qsizetype finish();

private:
    // Counts the held text up to the last place where a cluster ends whatever follows.
    void countSettledPart();

    // Text not counted yet: its clusters may go on in the next piece.
    QByteArray m_pending;
    // The first byte of m_pending from which no settled place was searched yet.
    qsizetype m_searchedUpTo = 0;
    qsizetype m_count = 0;
    bool m_ended = false;
};

} // namespace corvane
