#include "support/textsplice.h"

#include <cstdlib>
#include <cstring>

namespace
{

void MakeEmpty(char *output, std::size_t outputSize)
{
    if (output && outputSize > 0)
        output[0] = '\0';
}

// Offset of the first or last occurrence, or -1.
long FindMarker(const char *text, const char *marker, bool lastOccurrence)
{
    if (!text || !marker || marker[0] == '\0')
        return -1;
    if (lastOccurrence)
        return LastMarkerOffset(text, marker);
    const char *hit = std::strstr(text, marker);
    return hit ? hit - text : -1;
}

// Copies text[from, to) when it fits, else leaves the empty string and reports failure.
bool CopyIfFits(char *output, std::size_t outputSize, const char *text, std::size_t from,
                std::size_t to)
{
    if (!output || outputSize == 0)
        return false;
    if (to - from >= outputSize) {
        output[0] = '\0';
        return false;
    }
    CopyTextRange(output, outputSize, text, static_cast<unsigned>(from), static_cast<unsigned>(to));
    return true;
}

} // namespace

int LastMarkerOffset(const char *text, const char *marker)
{
    if (!text || !marker || marker[0] == '\0')
        return -1;
    const std::size_t markerLength = std::strlen(marker);
    long last = -1;
    for (const char *hit = std::strstr(text, marker); hit;
         hit = std::strstr(hit + markerLength, marker))
        last = hit - text;
    return static_cast<int>(last);
}

void CopyTextRange(char *output, std::size_t outputSize, const char *text, unsigned from,
                   unsigned to)
{
    if (!output || outputSize == 0 || !text)
        return;
    const std::size_t length = std::strlen(text);
    if (from > length)
        return;
    const std::size_t end = to < length ? to : length;
    if (from >= end) {
        output[0] = '\0';
        return;
    }
    const std::size_t count = end - from;
    if (count >= outputSize) {
        output[0] = '\0';
        return;
    }
    std::memmove(output, text + from, count);
    output[count] = '\0';
}

int TextAfterMarker(char *output, std::size_t outputSize, const char *text, const char *marker,
                    bool includeMarker, bool lastOccurrence)
{
    const long match = FindMarker(text, marker, lastOccurrence);
    if (match < 0) {
        MakeEmpty(output, outputSize);
        return -1;
    }
    const std::size_t cut = match + (includeMarker ? 0 : std::strlen(marker));
    return CopyIfFits(output, outputSize, text, cut, std::strlen(text)) ? 1 : -1;
}

int TextBeforeMarker(char *output, std::size_t outputSize, const char *text, const char *marker,
                     bool includeMarker, bool lastOccurrence)
{
    const long match = FindMarker(text, marker, lastOccurrence);
    if (match < 0) {
        MakeEmpty(output, outputSize);
        return -1;
    }
    const std::size_t cut = match + (includeMarker ? std::strlen(marker) : 0);
    return CopyIfFits(output, outputSize, text, 0, cut) ? 1 : -1;
}

int TextBetweenMarkers(char *output, std::size_t outputSize, const char *text,
                       const char *startMarker, const char *endMarker, bool includeStartMarker,
                       bool includeEndMarker, bool lastStartMarker, bool lastEndMarker)
{
    if (!text) {
        MakeEmpty(output, outputSize);
        return -1;
    }
    const std::size_t scratchSize = std::strlen(text) + 1;
    char *scratch = static_cast<char *>(std::malloc(scratchSize));
    if (!scratch) {
        MakeEmpty(output, outputSize);
        return -1;
    }
    const int first = TextAfterMarker(scratch, scratchSize, text, startMarker, includeStartMarker,
                                      lastStartMarker);
    const int second = first == 1 ? TextBeforeMarker(output, outputSize, scratch, endMarker,
                                                     includeEndMarker, lastEndMarker)
                                  : -1;
    std::free(scratch);
    if (second != 1) {
        MakeEmpty(output, outputSize);
        return -1;
    }
    return 1;
}

void TrimLeadingBlanks(char *text)
{
    if (!text)
        return;
    std::size_t blanks = 0;
    while (text[blanks] == ' ' || text[blanks] == '\t')
        ++blanks;
    if (blanks > 0)
        std::memmove(text, text + blanks, std::strlen(text + blanks) + 1);
}

void TrimTrailingBlanks(char *text)
{
    if (!text)
        return;
    std::size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        --length;
    text[length] = '\0';
}
