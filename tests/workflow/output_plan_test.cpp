// The clash check on its own: names of files still to come, links and hard links of files
// that are there, and the one source that may replace itself ("save...").
#include "workflow/output_plan.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace fs = std::filesystem;
using testing_support::TempDir;

TEST(OutputPlan, ClashesAreFoundByNameAndByIdentity) {
    TempDir dir;
    const auto d = [&](const char* name) { return dir.file(name); };
    for (const char* name : {"a.png", "b.png", "c.png"}) testing_support::writeBytes(d(name), {1});
    fs::create_hard_link(d("a.png"), d("hard.png"));
    fs::create_symlink(d("b.png"), d("soft.png"));
    const struct {
        const char* what;
        std::vector<PlannedOutput> plan;
        std::string message;
    } rows[] = {
        {"apart", {{d("a.png"), d("x.png")}, {d("b.png"), d("y.png")}}, ""},
        {"empty", {}, ""},
        {"one target",
         {{d("a.png"), d("x.png")}, {d("b.png"), d("x.png")}},
         "cannot write " + d("a.png") + " and " + d("b.png") + " both to " + d("x.png")},
        {"one target spelt twice",
         {{d("a.png"), d("x.png")}, {d("b.png"), dir.path().string() + "/./x.png"}},
         "cannot write " + d("a.png") + " and " + d("b.png") + " both to " + dir.path().string() +
             "/./x.png"},
        {"itself", {{d("a.png"), d("a.png")}}, "cannot write " + d("a.png") + " over itself"},
        {"itself, allowed", {{d("a.png"), d("a.png"), true}}, ""},
        {"itself through a hard link",
         {{d("a.png"), d("hard.png")}},
         "cannot write " + d("a.png") + " over itself"},
        {"another source",
         {{d("a.png"), d("c.png")}, {d("c.png"), d("z.png")}},
         "cannot write " + d("a.png") + " to " + d("c.png") + ": it is also a source of this run"},
        {"another source, even when allowed itself",
         {{d("a.png"), d("c.png"), true}, {d("c.png"), d("z.png")}},
         "cannot write " + d("a.png") + " to " + d("c.png") + ": it is also a source of this run"},
        {"another source through a link",
         {{d("a.png"), d("soft.png")}, {d("b.png"), d("y.png")}},
         "cannot write " + d("a.png") + " to " + d("soft.png") +
             ": it is also a source of this run"},
        {"the first problem in list order",
         {{d("a.png"), d("x.png")}, {d("b.png"), d("b.png")}, {d("c.png"), d("x.png")}},
         "cannot write " + d("b.png") + " over itself"},
    };
    for (const auto& row : rows) EXPECT_EQ(outputClash(row.plan), row.message) << row.what;
}
