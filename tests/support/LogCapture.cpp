#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

// A message may be long, so only a record's head and trailer go through the patterns.
const std::regex headPattern("~([^(]*)\\(\\): ([0-9A-F]+): Line: ([0-9]+): (\\*\\*\\*\\*\\*: )?");
const std::regex
    trailerPattern("\\$\\$<([^>]*)><x (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) ([0-9]{2}) "
                   "([0-9]{2}):([0-9]{2}):([0-9]{2})\\.([0-9]{3}) ([0-9]{4})><thread=([0-9]+)>");

bool ParseRecord(const std::string& raw, LogRecord* record) {
    size_t trailerStart = raw.rfind("$$<");
    if (trailerStart == std::string::npos) {
        return false;
    }
    std::smatch head, trailer;
    std::string headText = raw.substr(0, std::min<size_t>(raw.size(), 400));
    std::string trailerText = raw.substr(trailerStart);
    if (!std::regex_search(headText, head, headPattern, std::regex_constants::match_continuous) ||
        !std::regex_match(trailerText, trailer, trailerPattern) ||
        (size_t)head.length(0) > trailerStart) {
        return false;
    }
    std::string message = raw.substr(head.length(0), trailerStart - head.length(0));
    *record = {head[1], head[2], head[3], head[4], message, trailer[1], trailer[9]};
    return true;
}

} // namespace

std::string ReadWholeFile(const std::string& unixPath) {
    std::ifstream in(unixPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<LogRecord> LogCapture::Records() const {
    std::vector<LogRecord> records;
    std::string text = Text();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(">\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "record without CR LF: " << text.substr(start, 200);
            break;
        }
        std::string raw = text.substr(start, end + 1 - start);
        start = end + 3;
        LogRecord record;
        if (ParseRecord(raw, &record)) {
            records.push_back(record);
        } else {
            ADD_FAILURE() << "malformed record: " << raw.substr(0, 300);
        }
    }
    return records;
}

std::vector<std::string> LogCapture::Messages() const {
    std::vector<std::string> messages;
    for (const LogRecord& record : Records()) {
        messages.push_back(record.message);
    }
    return messages;
}
