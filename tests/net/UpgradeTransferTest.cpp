// What the upgrade's end-to-end tests cannot arrange: a reply cut or run
// together with an ignored message within one read, and a firmware file
// that shrinks while it is sent.
#include "net/UpgradeTransfer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace tarnvik;

namespace {

using Bytes = std::vector<uint8_t>;

// Feeds the bytes in the reads given by `cuts` (positions where a read ends).
std::optional<uint8_t> Feed(const Bytes& bytes, const std::vector<size_t>& cuts)
{
    UpgradeTransfer transfer;
    size_t from = 0;
    for (size_t cut : cuts) {
        if (auto result = transfer.Received(bytes.data() + from, cut - from))
            return result;
        from = cut;
    }
    return transfer.Received(bytes.data() + from, bytes.size() - from);
}

} // namespace

TEST(UpgradeTransfer, RepliesAreFoundHoweverTheBytesArrive)
{
    const Bytes ignoredThenReply = {0x54, 0x71, 0xEE, 0x03, 0, 0, 0, 2, 0xAA, 0xBB, 0x54, 0x71, 0x51, 0x91};
    struct Case {
        const char* name;
        Bytes bytes;
        std::vector<size_t> cuts;
        std::optional<uint8_t> result;
    };
    const Case cases[] = {
        {"one read", ignoredThenReply, {}, 0x91},
        {"byte by byte", ignoredThenReply, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, 0x91},
        {"header cut after 5", ignoredThenReply, {5}, 0x91},
        {"failure code", {0, 0, 0x51, 0x03}, {}, 0x03},
        {"one byte", {0x54}, {}, std::nullopt},
        {"64 garbage bytes", Bytes(64, 0x20), {}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Feed(c.bytes, c.cuts), c.result) << c.name;
}

TEST(UpgradeTransfer, AFileThatShrinksWhileSentIsReported)
{
    char path[] = "/tmp/tarnvik-upgrade-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    std::ofstream(path, std::ios::binary) << std::string(200000, 'f');

    UpgradeTransfer transfer;
    std::string message;
    ASSERT_TRUE(transfer.Open(path, message)) << message;
    std::vector<uint8_t> out;
    ASSERT_TRUE(transfer.Produce(out, 1000, message)) << message;
    ASSERT_EQ(::truncate(path, 100000), 0);
    while (transfer.Produce(out, 1000000, message) && !transfer.AllProduced())
        ;
    EXPECT_FALSE(transfer.AllProduced());
    EXPECT_EQ(message, std::string("Can't read ") + path + ": The file became shorter while it was sent.");
    ::unlink(path);
}
