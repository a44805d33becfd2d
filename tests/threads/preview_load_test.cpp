// Loading a JPEG into the preview chain shrinks stage 1 on a second thread while the photo is
// decoded and stage 9 on another while stages 1 to 8 are refilled. Run under TSan; the stages
// must be what the plain computation from stage 0 gives.
#include <gtest/gtest.h>

#include "support/jpeg_damage.h"
#include "support/test_support.h"
#include "tests/workflow/fake_view.h"
#include "workflow/preview_chain.h"

using testing_support::randomImage;
using testing_support::sameImage;

namespace {

void expectStagesFollowTheOriginal(const PreviewChain& chain, const FakeView& view) {
    const PhotoEdit& original = chain.stage(kStageOriginal);
    const SurfaceRect f = original.fitRect(view.enhanced.width, view.enhanced.height, false);
    PhotoEdit fitted;
    fitted.assignResized(original, f.right - f.left, 0, 0);
    EXPECT_TRUE(sameImage(chain.stage(kStageFitted).image, fitted.image));

    const SurfaceRect o = original.fitRect(view.original.width, view.original.height, true);
    PhotoEdit shown;
    shown.assignResized(original, o.right - o.left, o.bottom - o.top, 0);
    shown.splitChannels();
    EXPECT_TRUE(sameImage(chain.stage(kStageOriginalView).image, shown.image));
    EXPECT_TRUE(sameImage(chain.stage(kStageOriginalView).redPlane, shown.redPlane));
}

}  // namespace

TEST(PreviewLoadThreads, StagesMadeAlongsideTheDecodeEqualThePlainOnes) {
    testing_support::TempDir dir;
    std::vector<std::string> paths;
    for (uint32_t seed : {1u, 2u}) {
        DibImage photo = randomImage(seed == 1 ? 1500 : 900, seed == 1 ? 1000 : 1300, 24, seed);
        paths.push_back(dir.file("photo" + std::to_string(seed) + ".jpg"));
        ASSERT_TRUE(photo.saveToFile(paths.back().c_str(), JPEG));
    }
    EnhancementSettings settings;
    FakeView view;
    PreviewChain chain(settings, view);
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(chain.loadPhoto(paths[size_t(round % 2)]));
        expectStagesFollowTheOriginal(chain, view);
    }
    chain.onRotateRight();
    expectStagesFollowTheOriginal(chain, view);
    // The preview limit decodes reduced; the stages still follow what was decoded.
    chain.setPreviewLimit(700, 500);
    ASSERT_TRUE(chain.loadPhoto(paths[0]));
    EXPECT_EQ(chain.stage(kStageOriginal).width(), 750);
    expectStagesFollowTheOriginal(chain, view);

    // A decode failing after its last row frees the picture the shrinking thread reads: the
    // thread must have stopped first (ASan and TSan watch).
    const std::string damaged = dir.file("damaged.jpg");
    testing_support::writeBytes(damaged,
                                withSecondFrameMidScan(testing_support::readBytes(paths[0])));
    EXPECT_FALSE(chain.loadPhoto(damaged));
    EXPECT_EQ(chain.stage(kStageOriginal).width(), 0);
    ASSERT_TRUE(chain.loadPhoto(paths[1]));
    expectStagesFollowTheOriginal(chain, view);
}
