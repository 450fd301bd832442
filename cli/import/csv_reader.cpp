#include "cli/import/csv_reader.h"

#include "cli/log/log.h"

#include <csv.h>

#include <cstdio>
#include <memory>
#include <string_view>

namespace kovru {
namespace {

constexpr std::size_t chunk_size = 1024;
constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

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
            == bytes.size();
    }

    // Strict only for the end: a quoted field left open is an error, while the lenient
    // reading of stray quotes inside fields stays as it is.
    bool finish()
    {
        csv_set_opts(&parser_, CSV_APPEND_NULL | CSV_STRICT | CSV_STRICT_FINI);
        return csv_fini(&parser_, on_field, on_row, this) == 0;
    }

    std::string error_text() { return csv_strerror(csv_error(&parser_)); }
    unsigned long rows() const { return rows_; }
    std::size_t pending_fields() const { return row_.size(); }

private:
    static void on_field(void* text, std::size_t length, void* self)
    {
        auto* parser = static_cast<CsvParser*>(self);
        parser->row_.emplace_back(static_cast<const char*>(text ? text : ""), text ? length : 0);
    }
    static void on_row(int, void* self)
    {
        auto* parser = static_cast<CsvParser*>(self);
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
    std::unique_ptr<std::FILE, FileClose> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return { csv_file_unopened, {}, 0 };
    char chunk[chunk_size];
    bool parsed = true;
    while (parsed) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        if (got == 0)
            break;
        parsed = parser.feed({ chunk, got });
    }
    if (parsed && std::ferror(file.get()))
        return { csv_file_unopened, {}, 0 };
    return finish_reading(parser, parsed);
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
