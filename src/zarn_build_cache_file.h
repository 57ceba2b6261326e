// The build cache file ".zarn_cache": its elements, its reader (formats V3
// to V5) and its writer (V5).
//
// NUMBER  decimal digits, "\n"
// STRING  NUMBER n, n raw bytes, "\n"
// ITEM    "A <AssignType> <flags>\n", then a STRING of the assignment's text;
//         "A <AssignType> <flags> %\n" when its texts are escaped (a text
//         that the build language cannot hold as it is)
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "types/zarn_context_types.h"
#include "zarn_build_cache.h"

namespace Zarn {

// Parses the text of one assignment; relative path literals are joined to
// the base directory. Throws when the text is no assignment.
using AssignmentTextParser =
    std::function<Assignment(const std::string& text, const std::filesystem::path& baseDirectory)>;

// Each writer is true when the stream is still good after the write; each
// reader false on any defect, its output then unspecified.
bool writeLengthPrefixedString(std::ostream& out, const std::string& text);
bool readLengthPrefixedString(std::istream& in, std::string& text);
// Unsigned decimal on a line of its own that ends within 32 bytes: leading
// blanks skipped, digits up to the first other character; no digits, a
// sign, an overflow or a line longer or unended is false.
bool readCacheNumber(std::istream& in, uint64_t& number);
bool writeCacheItem(std::ostream& out, const Assignment& assignment);
// The operator and flags come from the "A" line. Text that does not parse is
// taken only in the form "name <operator>" with nothing after it (an
// assignment without a value). Every string and path read is final: it was
// resolved when it was written.
bool readCacheItem(std::istream& in, Assignment& assignment, const AssignmentTextParser& parse);

// The records of a cache file read from a stream; nullopt after a defect,
// which is reported once at level 6 with fileName. Counts and lengths that
// the rest of the stream cannot hold are defects.
std::optional<RuntimeRecordMap> readCacheRecords(std::istream& in, const std::string& fileName,
                                                 const AssignmentTextParser& parse);

// The V5 file of the records. A record holding an assignment that would not
// read back even escaped (a name that is no identifier) is left out with a
// warning naming it. False when a write failed.
bool writeCacheRecords(std::ostream& out, const std::vector<CacheRecordSnapshot>& records);

// Replaces the cache's records by those of its file, less those of builds
// that the journal says did not finish. A file that is missing or cannot be
// read empties the cache silently; a defective one with one warning.
void loadCacheFile(RuntimeCache& cache, const AssignmentTextParser& parse);
// The same with the build language's parser of one assignment.
void loadCacheFile(RuntimeCache& cache);

// Writes every record (but those claimed and not stored) to the cache file
// as a state file (a fresh temporary file renamed over it), then settles the
// journal. Failures are reported at level 7 and never end the run.
void saveCacheFile(RuntimeCache& cache);

}  // namespace Zarn
