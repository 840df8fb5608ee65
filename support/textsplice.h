#pragma once

#include <cstddef>

// Marker routines over NUL-terminated byte strings. The output buffer comes first, followed by
// its capacity in bytes; no routine writes more than that many bytes. A result that does not
// fit is refused like a missing marker: the output becomes the empty string and -1 is returned.
// An empty marker never matches.

int LastMarkerOffset(const char *text, const char *marker);

void CopyTextRange(char *output, std::size_t outputSize, const char *text, unsigned from,
                   unsigned to);

int TextAfterMarker(char *output, std::size_t outputSize, const char *text, const char *marker,
                    bool includeMarker, bool lastOccurrence);

int TextBeforeMarker(char *output, std::size_t outputSize, const char *text, const char *marker,
                     bool includeMarker, bool lastOccurrence);

int TextBetweenMarkers(char *output, std::size_t outputSize, const char *text,
                       const char *startMarker, const char *endMarker, bool includeStartMarker,
                       bool includeEndMarker, bool lastStartMarker, bool lastEndMarker);

void TrimLeadingBlanks(char *text);
void TrimTrailingBlanks(char *text);

// Array forms, so callers holding fixed buffers never pass a wrong capacity.
template <std::size_t N>
int TextAfterMarker(char (&output)[N], const char *text, const char *marker, bool includeMarker,
                    bool lastOccurrence)
{
    return TextAfterMarker(output, N, text, marker, includeMarker, lastOccurrence);
}

template <std::size_t N>
int TextBeforeMarker(char (&output)[N], const char *text, const char *marker, bool includeMarker,
                     bool lastOccurrence)
{
    return TextBeforeMarker(output, N, text, marker, includeMarker, lastOccurrence);
}

template <std::size_t N>
int TextBetweenMarkers(char (&output)[N], const char *text, const char *startMarker,
                       const char *endMarker, bool includeStartMarker, bool includeEndMarker,
                       bool lastStartMarker, bool lastEndMarker)
{
    return TextBetweenMarkers(output, N, text, startMarker, endMarker, includeStartMarker,
                              includeEndMarker, lastStartMarker, lastEndMarker);
}
