// The workspace the window and its dialogs share: the busy state always comes back, a failed
// render leaves no half-drawn mask, and a mask never replaces the model it was made from.
#include "session/workspace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>

#include "fixtures.h"

namespace quarvel {
namespace {

TEST(Workspace, BusyComesBackWhenTheWorkThrows) {
  Workspace ws;
  std::vector<bool> seen;
  ws.busyChanged = [&] { seen.push_back(ws.busy); };
  EXPECT_THROW(
      {
        BusyScope busy(ws);
        EXPECT_TRUE(ws.busy);
        throw std::runtime_error("failed");
      },
      std::runtime_error);
  EXPECT_FALSE(ws.busy);
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

TEST(Workspace, AFailedRenderLeavesNoMask) {
  test::ScratchDir dir;
  Workspace ws;
  ASSERT_TRUE(OpenModel(ws, dir.Write("m.3ds", test::SmallestModel()), {}).ok);
  RenderMask(ws, 200, 100, {});
  ASSERT_TRUE(ws.render.MaskReady);
  EXPECT_THROW(RenderMask(ws, -1, 100, {}), std::exception);
  EXPECT_FALSE(ws.render.MaskReady);
  EXPECT_FALSE(ws.rendering);
  EXPECT_EQ(ws.mask.Width(), 0);
}

TEST(Workspace, TheMaskNeverReplacesItsModel) {
  test::ScratchDir dir;
  Workspace ws;
  const auto model = test::SmallestModel();
  const std::string path = dir.Write("m.3ds", model);
  ASSERT_EQ(::symlink(path.c_str(), dir.Path("link.3ds").c_str()), 0);
  ASSERT_TRUE(OpenModel(ws, path, {}).ok);
  RenderMask(ws, 200, 100, {});
  for (const std::string& target : {path, dir.Path("link.3ds"), dir.Path("./m.3ds")}) {
    const ErrorText error = SaveMaskFile(ws, target);
    EXPECT_EQ(error.text, "Cannot save the mask over the model %s") << target;
  }
  EXPECT_EQ(test::ReadFile(path), model);
  EXPECT_TRUE(SaveMaskFile(ws, dir.Path("mask.bmp")).empty());
}

}  // namespace
}  // namespace quarvel
