#include "zarn_build_cache_file.h"
#include "types/value_kind.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <limits>
#include <sstream>
#include <string_view>
#include <system_error>

#include "loader/assignment_text.h"
#include "loader/input_text.h"
#include "short_path_literals.h"
#include "zarn_cache_escapes.h"
#include "zarn_cache_item_text.h"
#include "types/quoted_bytes.h"
#include "types/zarn_log.h"
#include "types/zarn_value_types.h"
#include "zarn_cache_values.h"
#include "zarn_file_lock.h"
#include "zarn_file_text.h"
#include "zarn_state_file.h"

namespace Zarn {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t readChunk = 64 * 1024;
constexpr uint64_t reserveBound = 1024;

// The header line of the format written, the longest of those read.
constexpr std::string_view currentHeader = "ZARN_CACHE_V5";
// The longest header line with its newline.
constexpr std::size_t headerLineBytes = currentHeader.size() + 1;
// The longest line of a number, such as the count line, its newline
// included: room for the 20 digits of the largest number and blanks around
// them. A longer line, or one the file ends in, is no number: its digits
// might go on.
constexpr std::size_t numberLineBytes = 32;

// The version that a header line names; 0 for none.
int headerVersion(std::string_view line)
{
    if (line == currentHeader)
        return 5;
    if (line == "ZARN_CACHE_V4")
        return 4;
    if (line == "ZARN_CACHE_V3")
        return 3;
    return 0;
}

// How a line read with a bound on its length ended.
enum class LineEnd { Newline, Bound, EndOfText };

// The line at the read position without its newline, but no more than
// `longest` characters of it: LineEnd::Bound when the byte after them, which
// is read too, is no newline.
LineEnd readLineWithin(std::istream& in, std::string& line, std::size_t longest)
{
    line.clear();
    char c = 0;
    while (in.get(c)) {
        if (c == '\n')
            return LineEnd::Newline;
        if (line.size() == longest)
            return LineEnd::Bound;
        line += c;
    }
    return LineEnd::EndOfText;
}

// The first line without its newline, but no more than headerLineBytes of
// it: `cut` when the line goes on after them. False when the stream is
// empty.
bool readHeaderLine(std::istream& in, std::string& line, bool& cut)
{
    const LineEnd end = readLineWithin(in, line, headerLineBytes);
    cut = end == LineEnd::Bound;
    return end != LineEnd::EndOfText || !line.empty();
}

// The cache file's text: whole when its first headerLineBytes +
// numberLineBytes hold a known header line and the newline of the count line
// after it, else only those bytes, which still tell what is wrong. A file
// of anything else, or one whose count line runs on, is never read whole.
// False when it cannot be read.
bool readCacheText(const fs::path& file, std::string& text)
{
    std::error_code ignored;
    const int fd = openRegularFile(file, O_RDONLY, ignored);
    if (fd < 0)
        return false;
    bool read = readFileBytes(fd, text, headerLineBytes + numberLineBytes);
    const std::size_t header = text.find('\n');
    const bool known = header != std::string::npos &&
                       headerVersion(std::string_view(text).substr(0, header)) != 0 &&
                       text.find('\n', header + 1) != std::string::npos;
    if (read && known)
        read = readFileBytes(fd, text, std::string::npos);
    ::close(fd);
    return read;
}

// Bytes left between the read position and the end; the largest number when
// the stream cannot tell.
uint64_t remainingBytes(std::istream& in)
{
    const std::istream::pos_type position = in.tellg();
    if (position == std::istream::pos_type(-1))
        return std::numeric_limits<uint64_t>::max();
    in.seekg(0, std::ios::end);
    const std::istream::pos_type end = in.tellg();
    in.seekg(position);
    if (end == std::istream::pos_type(-1) || end < position)
        return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(end - position);
}

// A count of elements that follow; each takes at least one byte.
bool readCount(std::istream& in, uint64_t& count)
{
    return readCacheNumber(in, count) && count <= remainingBytes(in);
}

bool parseDigits(std::string_view word, uint64_t& number)
{
    if (word.empty())
        return false;
    number = 0;
    for (char c : word) {
        if (c < '0' || c > '9')
            return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (number > (std::numeric_limits<uint64_t>::max() - digit) / 10)
            return false;
        number = number * 10 + digit;
    }
    return true;
}

// The number at the start of a line, after any blanks; what follows its
// digits is ignored.
bool parseNumberLine(std::string_view line, uint64_t& number)
{
    std::size_t i = 0;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
        ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9')
        ++i;
    return parseDigits(line.substr(start, i - start), number);
}

const char* fallbackOperator(uint64_t type)
{
    switch (type) {
    case Assignment::Set:
        return "=";
    case Assignment::Append:
        return "+=";
    case Assignment::SetIfUnset:
        return "?=";
    case Assignment::Declare:
        return ":";
    default:
        return nullptr;
    }
}

// The words of an "A" line as stream extraction would split them: three, or
// four when the item is escaped, separated by white space of the C locale.
bool splitItemLine(const std::string& line, std::string (&words)[4], std::size_t& count)
{
    std::size_t i = 0;
    count = 0;
    for (;;) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        if (i == line.size())
            return count >= 3;
        if (count == 4)
            return false;
        const std::size_t start = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        words[count++].assign(line, start, i - start);
    }
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A STRING element: the byte count, "\n", the bytes, "\n".
void appendLengthPrefixed(std::string& out, const std::string& text)
{
    out += std::to_string(text.size());
    out += '\n';
    out += text;
    out += '\n';
}

// "name <operator>" with only blanks after it: an assignment without value.
bool readValuelessItem(const std::string& text, uint64_t type, uint32_t flags, Assignment& assignment)
{
    const char* op = fallbackOperator(type);
    if (!op)
        return false;
    const std::size_t at = text.find(op);
    if (at == std::string::npos)
        return false;
    std::size_t first = 0;
    std::size_t last = at;
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    if (first == last)
        return false;
    const std::string rest = text.substr(at + std::char_traits<char>::length(op));
    if (!std::all_of(rest.begin(), rest.end(), isBlank))
        return false;
    assignment = Assignment(text.substr(first, last - first), nullptr,
                            static_cast<Assignment::AssignType>(type), flags);
    return true;
}

// A value read back was resolved before it was written, so its text is
// final: a file name holding "#1" or "${" is never expanded again. Strings
// and paths at any depth, also inside lists and context values.
void markReadBackFinal(const ZarnValuePtr& value)
{
    if (const auto* context = valueAs<const ZarnContext>(value.get())) {
        if (context->getContext())
            for (auto& [name, assignment] : context->getContext()->variables)
                markReadBackFinal(assignment.value);
    } else if (const auto* list = valueAs<const ZarnList>(value.get())) {
        for (const ZarnValuePtr& member : list->getMembers())
            markReadBackFinal(member);
    } else {
        markFinal(value);
    }
}

// The first assignment of the record that the cache cannot keep in any
// form, or null.
const Assignment* firstUnholdable(const CacheRecordSnapshot& record)
{
    for (const auto& [fingerprint, recipe] : record.recipes) {
        for (const RecipeInput& input : recipe.inputs) {
            if (!isCacheHoldable(input.input))
                return &input.input;
            if (input.intermediate.value && !isCacheHoldable(input.intermediate))
                return &input.intermediate;
        }
        for (const Assignment& output : recipe.outputs)
            if (!isCacheHoldable(output))
                return &output;
    }
    for (const Assignment& assignment : record.environment)
        if (!isCacheHoldable(assignment))
            return &assignment;
    return nullptr;
}

// The plain text reads back only when every text has a literal form and the
// whole is text the lexer takes.
bool readsBackPlain(const Assignment& assignment, const std::string& text)
{
    return isCacheWritable(assignment) && isLoadableText(text);
}

void writeNumber(std::ostream& out, uint64_t number)
{
    out << number << '\n';
}

bool writeItems(std::ostream& out, const std::vector<Assignment>& items)
{
    writeNumber(out, items.size());
    for (const Assignment& item : items)
        if (!writeCacheItem(out, item))
            return false;
    return true;
}

bool writeRecord(std::ostream& out, const CacheRecordSnapshot& record)
{
    if (!writeLengthPrefixedString(out, record.key))
        return false;
    writeNumber(out, record.recipes.size());
    for (const RecipeIO* recipe : collectMapValues(record.recipes)) {
        writeNumber(out, recipe->inputs.size());
        for (const RecipeInput& input : recipe->inputs) {
            if (!writeCacheItem(out, input.input))
                return false;
            const bool hasIntermediate = input.intermediate.value != nullptr;
            writeNumber(out, hasIntermediate ? 1 : 0);
            if (hasIntermediate && !writeCacheItem(out, input.intermediate))
                return false;
        }
        if (!writeItems(out, recipe->outputs))
            return false;
    }
    return writeItems(out, record.environment);
}

// Reads the records; the first defect names its element.
class RecordReader {
public:
    RecordReader(std::istream& in, int version, const AssignmentTextParser& parse)
        : in(in), version(version), parse(parse)
    {
    }

    // The name of the element that failed, or nullptr.
    const char* read(uint64_t count, RuntimeRecordMap& records)
    {
        records.reserve(std::min(count, reserveBound));
        for (uint64_t r = 0; r < count; ++r) {
            std::string key;
            if (!readLengthPrefixedString(in, key))
                return "record key";
            auto record = std::make_shared<RuntimeRecord>();
            if (const char* failed = readRecipes(record->recipes))
                return failed;
            if (const char* failed = readEnvironment(record->environment))
                return failed;
            // A later record of an equal key replaces the earlier one.
            records.erase(Util::CiString(key));
            records.emplace(Util::CiString(std::move(key)), std::move(record));
        }
        return nullptr;
    }

private:
    const char* readRecipes(InputFingerprintMap& recipes)
    {
        uint64_t recipeCount = 0;
        if (!readCount(in, recipeCount))
            return "recipe count";
        for (uint64_t i = 0; i < recipeCount; ++i) {
            RecipeIO recipe;
            if (const char* failed = readInputs(recipe.inputs))
                return failed;
            if (const char* failed = readItems(recipe.outputs, "outputs count", "output assignment"))
                return failed;
            const uint64_t fingerprint = fingerprintInputs(recipe);
            recipes.insert(fingerprint, std::move(recipe));
        }
        return nullptr;
    }

    const char* readInputs(std::vector<RecipeInput>& inputs)
    {
        uint64_t inputCount = 0;
        if (!readCount(in, inputCount))
            return "inputs count";
        inputs.reserve(std::min(inputCount, reserveBound));
        for (uint64_t i = 0; i < inputCount; ++i) {
            RecipeInput input;
            if (!readCacheItem(in, input.input, parse))
                return "input assignment";
            if (version >= 5) {
                uint64_t flag = 0;
                if (!readCacheNumber(in, flag) || flag > 1)
                    return "input intermediate flag";
                if (flag == 1 && !readCacheItem(in, input.intermediate, parse))
                    return "input intermediate assignment";
            }
            inputs.push_back(std::move(input));
        }
        return nullptr;
    }

    const char* readEnvironment(std::vector<Assignment>& environment)
    {
        if (const char* failed = readItems(environment, "env/context count", "env/context assignment"))
            return failed;
        if (version == 3)  // V3 environments are not comparable with today's
            environment.clear();
        return nullptr;
    }

    // A count, then that many items; the names are those of the elements
    // reported when one of them fails.
    const char* readItems(std::vector<Assignment>& items, const char* countName, const char* itemName)
    {
        uint64_t count = 0;
        if (!readCount(in, count))
            return countName;
        items.reserve(std::min(count, reserveBound));
        for (uint64_t i = 0; i < count; ++i) {
            Assignment item;
            if (!readCacheItem(in, item, parse))
                return itemName;
            items.push_back(std::move(item));
        }
        return nullptr;
    }

    std::istream& in;
    int version;
    const AssignmentTextParser& parse;
};

}  // namespace

bool writeLengthPrefixedString(std::ostream& out, const std::string& text)
{
    std::string element;
    appendLengthPrefixed(element, text);
    out.write(element.data(), static_cast<std::streamsize>(element.size()));
    return static_cast<bool>(out);
}

bool readCacheNumber(std::istream& in, uint64_t& number)
{
    std::string line;
    return readLineWithin(in, line, numberLineBytes - 1) == LineEnd::Newline && parseNumberLine(line, number);
}

bool readLengthPrefixedString(std::istream& in, std::string& text)
{
    uint64_t length = 0;
    if (!readCacheNumber(in, length) || length >= remainingBytes(in))
        return false;
    text.clear();
    // Grown as the bytes arrive, never allocated from the count alone.
    while (text.size() < length) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<uint64_t>(length - text.size(), readChunk));
        const std::size_t offset = text.size();
        text.resize(offset + chunk);
        in.read(&text[offset], static_cast<std::streamsize>(chunk));
        if (static_cast<std::size_t>(in.gcount()) != chunk)
            return false;
    }
    char end = 0;
    return static_cast<bool>(in.get(end)) && end == '\n';
}

bool writeCacheItem(std::ostream& out, const Assignment& assignment)
{
    // Formatted into one piece: the stream's number formatting per field
    // cost more than the rest of the writer.
    std::string text = cacheAssignmentText(assignment);
    const bool plain = readsBackPlain(assignment, text);
    if (!plain)
        text = escapedCacheAssignmentText(assignment);
    std::string item = "A ";
    item += std::to_string(static_cast<uint32_t>(assignment.type));
    item += ' ';
    item += std::to_string(assignment.flags);
    if (!plain) {
        item += ' ';
        item += escapedItemMark;
    }
    item += '\n';
    appendLengthPrefixed(item, text);
    out.write(item.data(), static_cast<std::streamsize>(item.size()));
    return static_cast<bool>(out);
}

bool readCacheItem(std::istream& in, Assignment& assignment, const AssignmentTextParser& parse)
{
    std::string line;
    if (!std::getline(in, line))
        return false;
    std::string words[4];
    std::size_t wordCount = 0;
    if (!splitItemLine(line, words, wordCount) || words[0] != "A")
        return false;
    const bool escaped = wordCount == 4;
    if (escaped && words[3] != escapedItemMark)
        return false;
    uint64_t type = 0;
    uint64_t flags = 0;
    if (!parseDigits(words[1], type) || !parseDigits(words[2], flags) || !fallbackOperator(type) ||
        flags > std::numeric_limits<uint32_t>::max())
        return false;

    std::string text;
    if (!readLengthPrefixedString(in, text))
        return false;
    Assignment read;
    if (!readWrittenAssignmentText(text, read)) {
        try {
            // No base directory: a relative path joined to "." would be
            // written back with one more "./" at every save.
            read = parse(rewriteShortPathLiterals(text), {});
            markReadBackFinal(read.value);
        } catch (...) {
            // Not an assignment with a value; it may still be one without.
            return readValuelessItem(text, type, static_cast<uint32_t>(flags), assignment);
        }
    }
    if (escaped && !unescapeCacheValue(read.value))
        return false;
    assignment = Assignment(std::move(read.name), std::move(read.value), static_cast<Assignment::AssignType>(type),
                            static_cast<uint32_t>(flags));
    return true;
}

std::optional<RuntimeRecordMap> readCacheRecords(std::istream& in, const std::string& fileName,
                                                 const AssignmentTextParser& parse)
{
    std::string header;
    bool cut = false;
    if (!readHeaderLine(in, header, cut)) {
        logMessage(LogLevel::Warning, "Cache file '{}' has invalid header. Starting with empty cache.\n", fileName);
        return std::nullopt;
    }
    const int version = cut ? 0 : headerVersion(header);
    if (version == 0) {
        logMessage(LogLevel::Warning, "Cache file '{}' has unsupported header '{}'. Starting with empty cache.\n",
                   fileName, quotedBytes(header, cut));
        return std::nullopt;
    }

    uint64_t count = 0;
    if (!readCount(in, count)) {
        logMessage(LogLevel::Warning, "Cache file '{}' has invalid records count. Starting with empty cache.\n",
                   fileName);
        return std::nullopt;
    }
    RuntimeRecordMap records;
    if (const char* failed = RecordReader(in, version, parse).read(count, records)) {
        logMessage(LogLevel::Warning, "Cache file '{}' is malformed ({}). Starting with empty cache.\n", fileName,
                   failed);
        return std::nullopt;
    }
    return records;
}

bool writeCacheRecords(std::ostream& out, const std::vector<CacheRecordSnapshot>& records)
{
    std::vector<const CacheRecordSnapshot*> writable;
    writable.reserve(records.size());
    for (const CacheRecordSnapshot& record : records) {
        if (const Assignment* unholdable = firstUnholdable(record))
            logMessage(LogLevel::Warning,
                       "Cache record for '{}' is not kept: its variable '{}' cannot be written so that it reads "
                       "back. The target is built again next time.\n",
                       record.key, unholdable->name);
        else
            writable.push_back(&record);
    }
    out << currentHeader << '\n';
    writeNumber(out, writable.size());
    for (const CacheRecordSnapshot* record : writable)
        if (!writeRecord(out, *record))
            return false;
    return static_cast<bool>(out);
}

void loadCacheFile(RuntimeCache& cache, const AssignmentTextParser& parse)
{
    // Held while the file and the journal are read, so that a save of
    // another run is seen whole or not at all.
    std::optional<FileLock> lock;
    cache.journal.lock(lock, "reading the cache");

    RuntimeRecordMap records;
    std::string content;
    // A file that cannot be read (absent, a directory, a FIFO, ...) is an
    // empty cache.
    if (readCacheText(cache.cacheFile, content)) {
        std::istringstream in(std::move(content), std::ios::in | std::ios::binary);
        if (std::optional<RuntimeRecordMap> read = readCacheRecords(in, cache.cacheFile.string(), parse))
            records = std::move(*read);
    }

    const std::optional<std::vector<std::string>> unfinished = cache.journal.readKeys();
    if (!unfinished) {
        logMessage(LogLevel::Warning, "Build journal '{}' cannot be read. Starting with empty cache.\n",
                   cache.journal.file().string());
        records.clear();
    } else {
        for (const std::string& key : *unfinished)
            if (records.erase(Util::CiString(key)) != 0)
                logMessage(LogLevel::Debug, "The last build of '{}' did not finish; its cache record is dropped.\n",
                           key);
    }
    cache.replaceRecords(std::move(records));
}

void loadCacheFile(RuntimeCache& cache)
{
    loadCacheFile(cache, [](const std::string& text, const fs::path& baseDirectory) {
        return parseAssignmentText(text, baseDirectory);
    });
}

void saveCacheFile(RuntimeCache& cache)
{
    const std::vector<CacheRecordSnapshot> records = cache.snapshot();
    const fs::path& target = cache.cacheFile;

    const fs::path directory = target.parent_path();
    if (!directory.empty()) {
        std::error_code error;
        fs::create_directories(directory, error);
        if (error) {
            logMessage(LogLevel::Error, "Unable to create cache directory '{}': {}\n", directory.string(),
                       error.message());
            return;
        }
    }

    std::ostringstream out(std::ios::out | std::ios::binary);
    if (!writeCacheRecords(out, records))
        return;

    std::optional<FileLock> lock;
    cache.journal.lock(lock, "saving the cache");
    const StateWriteResult written = writeStateFile(target, out.str());
    switch (written.step) {
    case StateWriteStep::Done:
        // The records of unfinished builds are out of the file now.
        cache.journal.settle();
        break;
    case StateWriteStep::Open:
        logMessage(LogLevel::Error, "Unable to open cache file '{}' for writing.\n", written.temporary.string());
        break;
    case StateWriteStep::Write:
        logMessage(LogLevel::Error, "Unable to flush cache file '{}'.\n", written.temporary.string());
        break;
    case StateWriteStep::Exists:
    case StateWriteStep::Replace:
        logMessage(LogLevel::Error, "Unable to replace cache file '{}' with '{}': {}\n", target.string(),
                   written.temporary.string(), written.error.message());
        break;
    }
}

}  // namespace Zarn
