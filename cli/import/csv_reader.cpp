#include "cli/import/csv_reader.h"

#include "cli/log/log.h"
#include "common/posix/input_file.h"

#include <csv.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace kovru {
namespace {

constexpr std::size_t chunk_size = 1024;
constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

// One libcsv parser, freed on every path.
class CsvParser {
public:
    explicit CsvParser(const CsvRowHandler& on_row)
        : on_row_(on_row)
    {
        ready_ = csv_init(&parser_, CSV_APPEND_NULL) == 0;
    }
    ~CsvParser()
    {
        if (ready_)
            csv_free(&parser_);
    }
    CsvParser(const CsvParser&) = delete;
    CsvParser& operator=(const CsvParser&) = delete;

    bool ready() const { return ready_; }

    bool feed(std::string_view bytes)
    {
        if (at_start_) {
            at_start_ = false;
            if (bytes.starts_with(byte_order_mark))
                bytes.remove_prefix(byte_order_mark.size());
        }
        return csv_parse(&parser_, bytes.data(), bytes.size(), on_field, on_row, this)
            == bytes.size()
            && bound_broken_.empty();
    }

    // Ends the reading as if the text were malformed, with why.
    void break_bound(std::string why)
    {
        if (bound_broken_.empty())
            bound_broken_ = std::move(why);
    }

    // Strict only for the end: a quoted field left open is an error, while the lenient
    // reading of stray quotes inside fields stays as it is.
    bool finish()
    {
        if (!bound_broken_.empty())
            return false;
        csv_set_opts(&parser_, CSV_APPEND_NULL | CSV_STRICT | CSV_STRICT_FINI);
        return csv_fini(&parser_, on_field, on_row, this) == 0;
    }

    std::string error_text()
    {
        return bound_broken_.empty() ? csv_strerror(csv_error(&parser_)) : bound_broken_;
    }
    unsigned long rows() const { return rows_; }
    std::size_t pending_fields() const { return row_.size(); }

private:
    // libcsv keeps calling back for the rest of a chunk; once a bound is broken nothing more
    // is kept.
    static void on_field(void* text, std::size_t length, void* self)
    {
        auto* parser = static_cast<CsvParser*>(self);
        if (!parser->bound_broken_.empty())
            return;
        if (length > kCsvFieldMaxLength)
            return parser->break_bound(
                "a field longer than " + std::to_string(kCsvFieldMaxLength) + " bytes");
        if (parser->row_.size() >= kCsvFieldsPerRowMax)
            return parser->break_bound(
                "a row of more than " + std::to_string(kCsvFieldsPerRowMax) + " fields");
        parser->row_.emplace_back(static_cast<const char*>(text ? text : ""), text ? length : 0);
    }
    static void on_row(int, void* self)
    {
        auto* parser = static_cast<CsvParser*>(self);
        if (!parser->bound_broken_.empty())
            return;
        if (parser->rows_ >= kCsvRowsMax)
            return parser->break_bound("more than " + std::to_string(kCsvRowsMax) + " rows");
        ++parser->rows_;
        parser->on_row_(parser->row_);
        parser->row_.clear();
    }

    csv_parser parser_ {};
    bool ready_ = false;
    bool at_start_ = true;
    const CsvRowHandler& on_row_;
    CsvRow row_;
    unsigned long rows_ = 0;
    std::string bound_broken_;
};

CsvReadOutcome finish_reading(CsvParser& parser, bool parsed)
{
    CsvReadOutcome outcome;
    if (!parsed || !parser.finish()) {
        outcome.result = csv_syntax_error;
        outcome.error_text = parser.error_text();
        print_error("Error while parsing file: %s\n", outcome.error_text.c_str());
        return outcome;
    }
    outcome.rows = parser.rows();
    print_out("%lu fields, %lu rows\n", static_cast<unsigned long>(parser.pending_fields()),
        outcome.rows);
    return outcome;
}

} // namespace

CsvReadOutcome read_csv_file(const std::string& path, const CsvRowHandler& on_row)
{
    CsvParser parser(on_row);
    if (!parser.ready())
        return { csv_reader_unavailable, {}, 0 };
    InputFile input = open_input_file(path, kCsvFileMaxSize);
    if (input.fault == InputFault::not_regular || input.fault == InputFault::too_large)
        return { csv_file_refused, input.refusal, 0 };
    if (!input.file)
        return { csv_file_unopened, {}, 0 };
    std::FILE* file = input.file.get();
    char chunk[chunk_size];
    bool parsed = true;
    std::uint64_t total = 0;
    while (parsed) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (got == 0)
            break;
        // A file that grows while it is read is held to the same bound.
        total += got;
        if (total > kCsvFileMaxSize)
            parser.break_bound("a file " + too_large_refusal(kCsvFileMaxSize));
        parsed = parser.feed({ chunk, got });
    }
    if (parsed && std::ferror(file))
        return { csv_file_unopened, {}, 0 };
    return finish_reading(parser, parsed);
}

std::string csv_file_refusal(const std::string& path)
{
    InputFile input = open_input_file(path, kCsvFileMaxSize);
    if (input.fault == InputFault::not_regular || input.fault == InputFault::too_large)
        return input.refusal;
    // A NUL byte never occurs in a text file: a binary file chosen by mistake would otherwise
    // be read as rows without a version marker, and the line pushed unchanged.
    if (input.file) {
        char buffer[65536];
        std::size_t count = 0;
        while ((count = std::fread(buffer, 1, sizeof buffer, input.file.get())) > 0)
            if (std::memchr(buffer, '\0', count))
                return "not a text file: it holds a NUL byte";
    }
    return {};
}

CsvReadOutcome read_csv_text(std::string_view text, const CsvRowHandler& on_row)
{
    CsvParser parser(on_row);
    if (!parser.ready())
        return { csv_reader_unavailable, {}, 0 };
    bool parsed = true;
    for (std::size_t at = 0; parsed && at < text.size(); at += chunk_size)
        parsed = parser.feed(text.substr(at, chunk_size));
    return finish_reading(parser, parsed);
}

} // namespace kovru
