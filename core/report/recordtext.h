#pragma once
// The texts that records are made of: bytes made safe for a record line, a piece's text, a
// failure's words, SARIF's URIs and paths, workflow command values, and the hashes behind rule
// ids and fingerprints.

#include "core/report/reportsink.h"

#include <cstdint>
#include <string>
#include <string_view>

// The bytes with every control character but TAB (0x00 to 0x1F, 0x7F) shown as "?": a name or
// a line that cannot break a record or a message line, or forge one.
std::string SafeText(std::string_view bytes);
// SafeText appended to out in place, 16 bytes at a time where SSE2 serves.
void AppendSafeText(std::string& out, std::string_view bytes);
// What kavel-report says of a file that failed (an outcome IsFailure holds for): "Failed to open
// file: " or "Failed to read file: " and the reason, as standard error and SARIF word it.
std::string FailureText(EFileOutcome outcome, const CFileCounts& counts);
// A record's text: a piece's text without the LF that a cut CR LF left at its start.
std::string_view RecordText(std::string_view text);

// The path as a SARIF URI reference: "//" and "/./" made single; relative to the directory
// when it lies under it with no ".." on the way, else a file URI; every byte but letters,
// digits, "-._~/" percent-encoded.
std::string UriReference(const std::string& path, const std::string& directory);
// The path as UriReference makes it relative, its bytes as they are; the name the file was
// given by when it lies outside the directory.
std::string RelativePath(const std::string& path, const std::string& name,
                         const std::string& directory);
// A value of a GitHub workflow command, escaped as the runner undoes it: "%", CR and LF, and
// in a property also ":" and ",", so that no text ends the command or starts another.
std::string WorkflowEscape(std::string_view text, bool bProperty);
// FNV-1a, 64 bits.
uint64_t Fnv1a64(std::string_view bytes);
// The value as 16 lower-case hex digits.
std::string Hex16(uint64_t value);
// A SARIF rule id: "KAVEL-" and 16 lower-case hex digits of Fnv1a64 of the string with its
// ASCII letters upper-cased, so that strings that match alike have one id in any strings file.
std::string RuleId(std::string_view searchString);
