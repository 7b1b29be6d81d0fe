#include "tests/support/ChildProcess.h"

ChildProcess::~ChildProcess() {
    Finish();
}

std::string ChildProcess::ReadLine() {
    char line[256];
    if (output_ == nullptr || fgets(line, sizeof line, output_) == nullptr) {
        return "";
    }
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

void ChildProcess::WriteLine(const char* text) {
    if (input_ != nullptr) {
        fprintf(input_, "%s\n", text);
        fflush(input_);
    }
}

void ChildProcess::CloseStreams() {
    for (FILE** stream : {&input_, &output_}) {
        if (*stream != nullptr) {
            fclose(*stream);
            *stream = nullptr;
        }
    }
}
