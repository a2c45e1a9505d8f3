// The five blocks and their editors, as a program without windows finds them.

#include <gtest/gtest.h>

#include "editors/EditorTable.h"

namespace kv {
namespace {

TEST(EditorTable, EachBlockHasItsEditor) {
    for (std::uint16_t block = 250; block <= 254; ++block) {
        ASSERT_NE(EditorForBlock(block), nullptr) << block;
        EXPECT_EQ(EditorForBlock(block)->block, block);
    }
    EXPECT_EQ(EditorForBlock(249), nullptr);
    EXPECT_EQ(EditorForBlock(255), nullptr);
    // Every check names a field of its own editor, or none at all.
    for (const EditorSpec* spec : AllEditors()) {
        for (const EditorCheck& check : spec->checks) {
            EXPECT_LT(check.field, static_cast<int>(spec->fields.size())) << spec->caption;
            EXPECT_EQ(check.field < 0, check.rule == CheckRule::kSetWord) << spec->caption;
        }
    }
}

}  // namespace
}  // namespace kv
