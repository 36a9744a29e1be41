// Untrusted input: the in-car DVR setup file (dvr.ini), which comes from a
// memory card or another computer.
//
// The input is the file's text. What the editor reads from it, written back
// and read again, must give the same values (the time of day and the park
// time are not written, so they are left out of the comparison); a write to
// a new file that starts from this one must read the same again.
#include "ScratchFolder.h"
#include "app/DvrSetupFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace tarnvik;

namespace {

void ExpectSameWritten(DvrSetup again, const DvrSetup& first, const char* what)
{
    again.hour = first.hour;
    again.minute = first.minute;
    again.second = first.second;
    again.recordParkTime = first.recordParkTime;
    if (!(again == first)) {
        std::fprintf(stderr, "dvr.ini reads back different values after %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const fuzz::ScratchFolder setup("dvr_ini");
    const std::filesystem::path path = setup.folder / "dvr.ini";
    const std::filesystem::path copy = setup.folder / "copy.ini";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    std::filesystem::remove(copy);

    const DvrSetup first = DvrSetup::Read(path);
    // A file the engine does not take (too large) is neither read nor replaced.
    if (!first.Write(path))
        return 0;
    ExpectSameWritten(DvrSetup::Read(path), first, "a write in place");
    if (!first.Write(copy, path)) {
        std::fprintf(stderr, "a new file seeded from a written one could not be written\n");
        std::abort();
    }
    ExpectSameWritten(DvrSetup::Read(copy), first, "a write to a new file");
    return 0;
}
