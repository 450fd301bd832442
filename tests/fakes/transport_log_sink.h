// Collects the log lines of in-process transfers, by kind, without time stamps.
#pragma once

#include "cli/log/log.h"

#include <string>
#include <utility>
#include <vector>

namespace kovru::testing {

class TransportLogSink : public LogSink {
public:
    TransportLogSink() { set_log_sink(this); }
    ~TransportLogSink() override { set_log_sink(nullptr); }

    void add_line(LogKind kind, const std::string& stamped_line) override
    {
        // "YYYY-MM-DD hh:mm:ss.mmm " is 24 characters; the line ends in "\r\n".
        std::string text = stamped_line.size() > 24 ? stamped_line.substr(24) : "";
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        lines.emplace_back(kind, text);
    }
    void set_progress(int percent) override { progress.push_back(percent); }

    std::vector<std::string> of_kind(LogKind kind) const
    {
        std::vector<std::string> texts;
        for (const auto& [line_kind, text] : lines)
            if (line_kind == kind)
                texts.push_back(text);
        return texts;
    }

    std::vector<std::pair<LogKind, std::string>> lines;
    std::vector<int> progress;
};

} // namespace kovru::testing
