// Fuzz target: the settings document reader of varnokctl's import. Any text
// is either refused with status 4 or read into a document that writes back
// to a text that reads as the same document.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/Json.h"

using namespace varnok::cli;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    SettingsDocument doc;
    try {
        doc = ReadSettingsDocument(text);
    } catch (const CliError& e) {
        if (e.status() != ExitStatus::Refused || std::string(e.what()).empty()) std::abort();
        return 0;
    }
    const std::string written = WriteSettingsDocument(doc);
    try {
        if (WriteSettingsDocument(ReadSettingsDocument(written)) != written) {
            std::fprintf(stderr, "document changed on a second round\n");
            std::abort();
        }
    } catch (const CliError& e) {
        std::fprintf(stderr, "own document refused: %s\n", e.what());
        std::abort();
    }
    return 0;
}
