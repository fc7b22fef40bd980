// The engine's shared textures: found by name (exactly, letter case counting) or colour, loaded
// from the model's folder, the attached files or with the "dds" ending, shared with use counts and
// freed by their last user; textures of images and their refresh after grabs; and what a display
// change does to them.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "runtime/attached_files.h"
#include "runtime/host.h"
#include "tests/engine3d/texture_fixture.h"
#include "tests/support/block_writer.h"

namespace vx {
namespace {

using namespace win;
using test::RgbAt;

class EngineTextureTest : public test::TextureWorld {
 protected:
  std::string Bmp(const std::string& name, uint32_t rgb) {
    return WriteFile(name, test::Bmp24(8, 8, [rgb](uint32_t, uint32_t) { return rgb; }));
  }
  static uint32_t ColourOfTexture(uint32_t slot) { return RgbAt(TextureOf(slot).surface, 1, 1); }
};

TEST_F(EngineTextureTest, TheSameFileTwiceSharesOneTextureFreedByItsLastUser) {
  gModelFolder = folder_.path();
  Bmp("wall.bmp", 0xFF0000);
  const int32_t used = gTextureRecords.usedCount;
  const uint32_t first = LoadTextureFile("wall.bmp", 0);
  ASSERT_GT(first, 0u);
  EXPECT_EQ(ColourOfTexture(first), 0xFF0000u);
  EXPECT_EQ(LoadTextureFile("wall.bmp", 0), first);
  EXPECT_EQ(UsesOf(first), 2);
  EXPECT_EQ(gTextureRecords.usedCount, used + 1);

  ReleaseTextureSlot(first, 0);
  EXPECT_TRUE(gTextureRecords.IsTaken(first));
  ReleaseTextureSlot(first, 0);
  EXPECT_FALSE(gTextureRecords.IsTaken(first));
  EXPECT_EQ(gTextureNameList, nullptr);

  const uint32_t again = LoadTextureFile("wall.bmp", 0);
  LoadTextureFile("wall.bmp", 0);
  LoadTextureFile("wall.bmp", 0);
  ReleaseTextureSlot(again, 1);
  EXPECT_FALSE(gTextureRecords.IsTaken(again)) << "a forced release frees at once";
  EXPECT_EQ(gTextureRecords.usedCount, used);
}

TEST_F(EngineTextureTest, ColoursShareByTheirDecimalTextWithFileNames) {
  const uint32_t grey = GetColorTexture(128);
  ASSERT_GT(grey, 0u);
  EXPECT_EQ(ColourOfTexture(grey), 0x000080u);
  EXPECT_EQ(std::string(gTextureRecords[grey].nameEntry->name), "128");
  EXPECT_EQ(LoadTextureFile("128", 1), grey) << "the file name 128 is the colour's key";
  EXPECT_EQ(GetColorTexture(128), grey);
  EXPECT_EQ(UsesOf(grey), 3);
  const uint32_t red = GetColorTexture(0xFF0000);
  EXPECT_NE(red, grey);
  EXPECT_EQ(ColourOfTexture(red), 0xFF0000u);
}

TEST_F(EngineTextureTest, NamesCompareWithLetterCaseAndImageTexturesAreNeverFoundByName) {
  gModelFolder = folder_.path();
  Bmp("brick.bmp", 0x00FF00);
  const uint32_t lower = LoadTextureFile("brick.bmp", 0);
  const uint32_t upper = LoadTextureFile("Brick.bmp", 0);
  ASSERT_GT(lower, 0u);
  ASSERT_GT(upper, 0u) << "the file itself is found in any case";
  EXPECT_NE(lower, upper) << "but the names differ";
  EXPECT_EQ(UsesOf(lower), 1);

  const uint32_t image = MakeImage(8, 8, 0x0000FF);
  const uint32_t fromImage = GetImageTexture(image, 1, 0);
  ASSERT_GT(fromImage, 0u);
  EXPECT_STREQ(gTextureRecords[fromImage].nameEntry->name, "");
  EXPECT_EQ(FindTextureName(""), nullptr);
  const int32_t used = gTextureRecords.usedCount;
  EXPECT_EQ(LoadTextureFile("", 0), 0u);
  EXPECT_EQ(UsesOf(fromImage), 1);
  EXPECT_EQ(gTextureRecords.usedCount, used);
}

TEST_F(EngineTextureTest, AMissingFileGivesNoTextureAndKeepsNoRecord) {
  const int32_t used = gTextureRecords.usedCount;
  EXPECT_EQ(LoadTextureFile("nowhere.bmp", 0), 0u);
  EXPECT_EQ(LoadTextureFile("nowhere.png", 1), 0u);
  EXPECT_EQ(LoadTextureFile("ab", 1), 0u) << "too short for another ending";
  EXPECT_EQ(gTextureRecords.usedCount, used);
  EXPECT_EQ(gTextureNameList, nullptr);
  const std::string damaged = WriteFile("damaged.png", {0x89, 'P', 'N', 'G', 0});
  EXPECT_EQ(LoadTextureFile(damaged.c_str(), 1), 0u);
  EXPECT_EQ(gTextureRecords.usedCount, used);
}

TEST_F(EngineTextureTest, ModelTexturesComeFromTheModelsFolderAndTryTheDdsEnding) {
  const std::string models = folder_.MakeFolder("models");
  gModelFolder = models + "/";
  IDirectDrawSurface7* picture = test::MakePlainSurface(8, 8, 32);
  test::FillRect(picture, 0x00FF00);
  ASSERT_EQ(SaveImageByExtension(picture, models + "/leaf.png"), 1);
  picture->Release();
  const uint32_t leaf = LoadTextureFile("leaf.png", 0);
  ASSERT_GT(leaf, 0u);
  EXPECT_EQ(ColourOfTexture(leaf), 0x00FF00u);

  // Only a "dds" file stands beside the missing "bmp" one. Its reader is not part of the image
  // context yet, so the fallback finds the file, fails to read it, and leaves nothing behind.
  WriteFile("models/rock.dds", {'D', 'D', 'S', ' ', 0, 0, 0, 0});
  const int32_t used = gTextureRecords.usedCount;
  EXPECT_EQ(LoadTextureFile("rock.bmp", 0), 0u);
  EXPECT_EQ(gTextureRecords.usedCount, used);
  EXPECT_EQ(FindTextureName("rock.bmp"), nullptr);

  // The fallback really is to the "dds" name: with both files there, the "bmp" one wins.
  Bmp("models/rock.bmp", 0xFF0000);
  const uint32_t rock = LoadTextureFile("rock.bmp", 0);
  ASSERT_GT(rock, 0u);
  EXPECT_EQ(ColourOfTexture(rock), 0xFF0000u);
}

TEST_F(EngineTextureTest, AttachedFilesAreFoundByFullPathOrByBaseName) {
  const std::string savedTemp = gTempFolder;
  test::TempFolder temp;
  gTempFolder = temp.path();
  gAttachedFiles = std::make_unique<AttachedFiles>();
  const std::vector<uint8_t> bmp = test::Bmp24(4, 4, [](uint32_t, uint32_t) { return 0xFFFF00u; });
  const std::string game = folder_.path() + "game";
  ASSERT_TRUE(test::BlockWriter()
                  .Front("RUNTIME")
                  .Entry("program.dat", "code")
                  .Entry("media\\sun.bmp", std::string(bmp.begin(), bmp.end()))
                  .WriteTo(game));
  ASSERT_TRUE(LoadAttachedFiles(game));

  const uint32_t byPath = LoadTextureFile("media\\sun.bmp", 1);
  ASSERT_GT(byPath, 0u);
  EXPECT_EQ(ColourOfTexture(byPath), 0xFFFF00u);
  EXPECT_EQ(LoadTextureFile("sun.bmp", 1), 0u) << "mode 1 wants the full path";
  const uint32_t byName = LoadTextureFile("sun.bmp", 0);
  ASSERT_GT(byName, 0u) << "mode 0 compares base names";
  EXPECT_NE(byName, byPath) << "shared by name, and the names differ";

  ReleaseTextureSlot(byPath, 1);
  ReleaseTextureSlot(byName, 1);
  gAttachedFiles.reset();
  gTempFolder = savedTemp;
}

TEST_F(EngineTextureTest, ManyTexturesSurviveThePoolGrowingUnderThem) {
  // Every slot is read back only after all were made, so a pool that moved would show.
  std::vector<uint32_t> colours, images, textures;
  for (uint32_t i = 0; i < 20; ++i) colours.push_back(GetColorTexture(int32_t(i * 0x0C0000)));
  for (uint32_t i = 0; i < 20; ++i) images.push_back(MakeImage(4, 4, 0x000010u * (i + 1)));
  for (uint32_t image : images) textures.push_back(GetImageTexture(image, 1, 0));
  for (uint32_t i = 0; i < 20; ++i) {
    ASSERT_GT(colours[i], 0u);
    ASSERT_GT(textures[i], 0u);
    EXPECT_EQ(ColourOfTexture(colours[i]), i * 0x0C0000u) << i;
    EXPECT_EQ(TextureOf(textures[i]).sourceId, int32_t(images[i]));
    EXPECT_EQ(ColourOfTexture(textures[i]), 0x000010u * (i + 1));
  }
}

TEST_F(EngineTextureTest, ImageTexturesAreSharedUntilANewOneIsAskedFor) {
  const uint32_t image = MakeImage(20, 10, 0x0000FF);
  const uint32_t texture = GetImageTexture(image, 1, 0);
  ASSERT_GT(texture, 0u);
  EXPECT_EQ(gImageRecords[image].textureSlot, int32_t(texture));
  EXPECT_EQ(TextureOf(texture).sourceId, int32_t(image));
  EXPECT_EQ(TextureOf(texture).sourceWidth, 20u);
  EXPECT_EQ(ColourOfTexture(texture), 0x0000FFu);
  DDCOLORKEY key{};
  EXPECT_EQ(TextureOf(texture).surface->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);

  EXPECT_EQ(GetSharedImageTexture(image, 1), texture);
  EXPECT_EQ(UsesOf(texture), 2);
  const uint32_t fresh = GetImageTexture(image, 1, 1);
  ASSERT_GT(fresh, 0u);
  EXPECT_NE(fresh, texture);
  EXPECT_EQ(gImageRecords[image].textureSlot, int32_t(fresh));
  EXPECT_EQ(TextureOf(fresh).dxt1, 1) << "made new, and compressed where the device lists DXT";

  ReleaseTextureSlot(texture, 1);
  EXPECT_EQ(gImageRecords[image].textureSlot, int32_t(fresh)) << "the old texture no longer names the image";
  ReleaseTextureSlot(fresh, 0);
  EXPECT_EQ(gImageRecords[image].textureSlot, 0);

  const uint32_t empty = AllocImageRecord();
  EXPECT_EQ(GetImageTexture(empty, 1, 0), 0u) << "an image without a surface";
  EXPECT_EQ(GetImageTexture(9999, 1, 0), 0u);
  FailSurfaceCreations(1, DDERR_OUTOFVIDEOMEMORY, DDSCAPS_TEXTURE);
  const int32_t used = gTextureRecords.usedCount;
  EXPECT_EQ(GetImageTexture(image, 1, 0), 0u);
  EXPECT_EQ(gTextureRecords.usedCount, used);
}

TEST_F(EngineTextureTest, GrabsCopyTheScreenOrABitmapAndRefreshTheImagesTexture) {
  test::FillRect(gBackBuffer, 0x00FF00);
  RECT corner{10, 10, 14, 12};
  test::FillRect(gBackBuffer, 0xFF0000, &corner);
  const uint32_t image = AllocImageRecord();
  ASSERT_EQ(GrabScreenImage(image, 10, 10, 30, 20, 0), 1);
  const ImageRecord& r = gImageRecords[image];
  EXPECT_EQ(std::tuple(r.valid, r.width, r.height), std::tuple(1, 20, 10));
  EXPECT_EQ(RgbAt(r.surface, 0, 0), 0xFF0000u);
  EXPECT_EQ(RgbAt(r.surface, 19, 9), 0x00FF00u);

  const uint32_t texture = GetImageTexture(image, 1, 0);
  IDirectDrawSurface7* textureSurface = TextureOf(texture).surface;
  test::FillRect(gBackBuffer, 0x0000FF);
  MakeSurfacesBusy(3);
  ASSERT_EQ(GrabScreenImage(image, 10, 10, 30, 20, 0), 1) << "a busy screen is waited for";
  EXPECT_EQ(TextureOf(texture).surface, textureSurface) << "same size: the texture is updated in place";
  EXPECT_EQ(ColourOfTexture(texture), 0x0000FFu);
  EXPECT_EQ(gTextureRefreshFlag, 1);

  ASSERT_EQ(CreateBitmapSurface(3, 16, 16), 1);
  test::FillRect(gBitmaps[3], 0xFFFF00);
  ASSERT_EQ(GrabBitmapImage(image, 3, 0, 0, 16, 16, 0), 1);
  EXPECT_EQ(gImageRecords[image].width, 16);
  EXPECT_EQ(TextureOf(texture).sourceWidth, 16u) << "another size: the texture is made again";
  EXPECT_EQ(ColourOfTexture(texture), 0xFFFF00u);
  EXPECT_EQ(GrabBitmapImage(image, 7, 0, 0, 4, 4, 0), 0) << "a bitmap that does not exist";
  EXPECT_EQ(gImageRecords[image].valid, 0);
  EXPECT_EQ(gImageRecords[image].surface, nullptr);
}

TEST_F(EngineTextureTest, AGrabThatCannotBeDoneEmptiesTheImageAndALostScreenIsGivenUp) {
  const uint32_t image = AllocImageRecord();
  ASSERT_EQ(GrabScreenImage(image, 0, 0, 8, 8, 0), 1);
  EXPECT_EQ(GrabScreenImage(image, 4, 4, 4, 8, 0), 0) << "nothing to grab";
  EXPECT_EQ(std::tuple(gImageRecords[image].valid, gImageRecords[image].surface, gImageRecords[image].width),
            std::tuple(0, nullptr, 0));
  EXPECT_EQ(GrabScreenImage(image, 0, 0, 100, 8, 0), 0) << "beyond the screen";

  ASSERT_EQ(GrabScreenImage(image, 0, 0, 8, 8, 0), 1);
  LoseSurface(gImageRecords[image].surface);
  EXPECT_EQ(GrabScreenImage(image, 0, 0, 8, 8, 0), 1) << "the image surface is restored once";
  gFullScreen = 1;
  LoseSurface(gImageRecords[image].surface);
  SetRestoreFails(true);
  EXPECT_EQ(GrabScreenImage(image, 0, 0, 8, 8, 0), 0);
  EXPECT_EQ(gAppActive, 0u) << "full screen without its surfaces: the program pauses";
  SetRestoreFails(false);
}

TEST_F(EngineTextureTest, DisplayChangesLetImagesGiveUpTheirTextures) {
  const uint32_t kept = MakeImage(8, 8, 0x808080);
  const uint32_t shared = MakeImage(8, 8, 0x404040);
  const uint32_t keptTexture = GetImageTexture(kept, 1, 0);
  const uint32_t sharedTexture = GetImageTexture(shared, 1, 0);
  AddTextureUse(sharedTexture);  // an object still uses it

  ReleaseImageTextureLinks();
  EXPECT_EQ(gImageRecords[kept].textureSlot, 0);
  EXPECT_FALSE(gTextureRecords.IsTaken(keptTexture));
  EXPECT_TRUE(gTextureRecords.IsTaken(sharedTexture));
  EXPECT_NE(gImageRecords[kept].surface, nullptr) << "only the links go";
  EXPECT_EQ(gTextureRefreshFlag, 1);

  GetImageTexture(kept, 1, 0);
  gTextureRefreshFlag = 0;
  ReleaseAllImageTextures();
  const ImageRecord& r = gImageRecords[kept];
  EXPECT_EQ(std::tuple(r.textureSlot, r.surface, r.valid, r.width), std::tuple(0, nullptr, 0, 0));
  EXPECT_EQ(gTextureRefreshFlag, 1);

  const uint32_t colour = GetColorTexture(0x112233);
  ReleaseAllTextureSurfaces();
  EXPECT_EQ(TextureOf(colour).surface, nullptr);
  EXPECT_TRUE(gTextureRecords.IsTaken(colour)) << "records and names stay";
  EXPECT_EQ(GetColorTexture(0x112233), colour);
}

TEST_F(EngineTextureTest, TextureOperationsBySlot) {
  EXPECT_EQ(FindLostTextureSurface(), 0);
  EXPECT_EQ(gAppActive, 1u);
  const uint32_t texture = GetColorTexture(0x808080);
  EXPECT_EQ(FindLostTextureSurface(), 1);
  EXPECT_EQ(gAppActive, 0u);
  gAppActive = 1;
  gAlwaysActive = 1;
  EXPECT_EQ(FindLostTextureSurface(), 1);
  EXPECT_EQ(gAppActive, 1u);
  gAlwaysActive = 0;

  DDCOLORKEY key{};
  ASSERT_NE(TextureOf(texture).surface->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
  EXPECT_EQ(ApplyTextureColorKey(texture), 1);
  EXPECT_EQ(TextureOf(texture).surface->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
  EXPECT_EQ(ApplyTextureColorKey(9999), 0);

  EXPECT_EQ(BuildTextureMipmaps(9999, 1), 0);
  // The run set-up attached the image context to the display.
  EXPECT_EQ(gImageContext.directDraw, gDirectDraw);
  EXPECT_EQ(gImageContext.primarySurface, gPrimarySurface);
  EXPECT_FALSE(gImageContext.owned);
}

}  // namespace
}  // namespace vx
