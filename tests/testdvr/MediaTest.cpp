#include "Media.h"

#include <gtest/gtest.h>

using namespace testdvr;

TEST(Media, H264ClipsSplitIntoOneAccessUnitPerPicture)
{
    struct Row {
        const char* name;
        int width, height;
        size_t pictures;
    };
    for (const Row& row : {Row{"clip0_cif.264", 352, 288, 100}, Row{"clip1_d1.264", 720, 576, 75}}) {
        Clip clip;
        std::string error;
        ASSERT_TRUE(LoadH264Clip(std::string(TARNVIK_TESTDVR_MEDIA) + "/" + row.name, clip, error)) << error;
        EXPECT_EQ(clip.width, row.width) << row.name;
        EXPECT_EQ(clip.height, row.height) << row.name;
        ASSERT_EQ(clip.pictures.size(), row.pictures) << row.name;
        // One key picture a second, each opening with its parameter sets.
        for (size_t i = 0; i < clip.pictures.size(); ++i) {
            const auto& bytes = clip.pictures[i].bytes;
            ASSERT_GE(bytes.size(), 5u);
            EXPECT_EQ(clip.pictures[i].key, i % 25 == 0) << row.name << " picture " << i;
            EXPECT_EQ(bytes[0] | bytes[1] | bytes[2], 0) << "4-byte start code";
            EXPECT_EQ(bytes[3], 1);
            if (clip.pictures[i].key) {
                EXPECT_EQ(bytes[4] & 0x1F, 7) << "SPS first";
            }
        }
    }
}

TEST(Media, PicturesOfSeveralSlicesAfterShortStartCodesTravelWhole)
{
    // x264 with 3-byte start codes, an access unit delimiter before each
    // picture, SEI, and three slices per picture.
    Clip clip;
    std::string error;
    ASSERT_TRUE(LoadH264Clip(std::string(TARNVIK_CONFORMANCE_DIR) + "/x264_short_start_codes.264", clip, error))
        << error;
    EXPECT_EQ(clip.width, 320);
    EXPECT_EQ(clip.height, 240);
    ASSERT_EQ(clip.pictures.size(), 40u);
    EXPECT_TRUE(clip.pictures[0].key);
    for (size_t i = 0; i < clip.pictures.size(); ++i) {
        const auto& bytes = clip.pictures[i].bytes;
        int slices = 0;
        int keySlices = 0;
        for (size_t p = 0; p + 3 < bytes.size(); ++p) {
            if (bytes[p] == 0 && bytes[p + 1] == 0 && bytes[p + 2] == 1) {
                const int type = bytes[p + 3] & 0x1F;
                slices += type == 1 || type == 5;
                keySlices += type == 5;
            }
        }
        EXPECT_EQ(slices, 3) << "picture " << i;
        EXPECT_EQ(clip.pictures[i].key, keySlices == 3) << "picture " << i;
        ASSERT_GE(bytes.size(), 4u);
        EXPECT_EQ(bytes[3] & 0x1F, 9) << "picture " << i << " opens with its delimiter";
    }
}

TEST(Media, JpegPicturesAreWholeImages)
{
    Clip clip;
    std::string error;
    ASSERT_TRUE(LoadJpegClip(std::string(TARNVIK_TESTDVR_MEDIA) + "/jpeg_cif.mjpeg", clip, error)) << error;
    EXPECT_EQ(clip.width, 352);
    EXPECT_EQ(clip.height, 288);
    EXPECT_EQ(clip.pictures.size(), 25u);
    for (const Picture& p : clip.pictures) {
        EXPECT_EQ(p.bytes[0], 0xFF);
        EXPECT_EQ(p.bytes[1], 0xD8);
        EXPECT_EQ(p.bytes[p.bytes.size() - 2], 0xFF);
        EXPECT_EQ(p.bytes.back(), 0xD9);
    }
}

TEST(Media, MissingOrEmptyFilesAreRefused)
{
    Clip clip;
    std::string error;
    EXPECT_FALSE(LoadH264Clip("/nonexistent/clip.264", clip, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(LoadJpegClip("/dev/null", clip, error));
}

TEST(Media, ResolutionCodes)
{
    EXPECT_EQ(ResolutionCodeFor(352, 288), 6);
    EXPECT_EQ(ResolutionCodeFor(720, 576), 4);
    EXPECT_EQ(ResolutionCodeFor(720, 480), 4);
    EXPECT_EQ(ResolutionCodeFor(1920, 1080), 1);
    EXPECT_TRUE(IsPalSize(352, 288));
    EXPECT_FALSE(IsPalSize(352, 240));
}
