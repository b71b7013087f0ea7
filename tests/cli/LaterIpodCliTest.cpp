// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli on the iPods of later years: a nano 7G's iTunesCDB is listed, and a volume
// whose database cannot be read is named with the reason.
#include "support/CliRun.h"
#include "support/IpodTree.h"

#include <gtest/gtest.h>

using namespace korvello::test;
namespace itdb = korvello::itdb;

namespace {

class LaterIpodCli : public ::testing::Test {
protected:
    IpodTree tree_;

    std::string Compressed() const { return tree_.Ipod() + "/iPod_Control/iTunes/iTunesCDB"; }
    static itdb::ITunesDbWriter Library() { return LaterIpodLibrary(); }
    CliRun Call(const std::string& args) { return RunKorvelloCli(tree_.Dir().path(), args); }
};

} // namespace

TEST_F(LaterIpodCli, CliListsANano7GAndNamesTheFolderOfAnUnreadableOne) {
    itdb::WriteBytes(Compressed(), Library().BuildCompressed());
    CliRun run = Call("list --drive e:");
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 3u) << run.out;
    EXPECT_EQ(run.lines[2].substr(0, 8), "12\tCaf\u00e9");

    const CliRun drives = Call("drives");
    EXPECT_NE(drives.out.find("\tyes\tiTunesCDB\n"), std::string::npos) << drives.out;

    const std::string touch = tree_.Dir() / "touch";
    MakeDirs(touch + "/iPod_Control/iTunes/iTunes Library.itlp");
    for (const char* command : {"list", "copy --to /tmp"}) {
        run = Call(std::string(command) + " --folder '" + touch + "'");
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_EQ(run.out, "") << command;
        EXPECT_NE(run.err.find("no readable music database in " + touch + " ("), std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("SQLite"), std::string::npos) << run.err;
    }

    itdb::WriteBytes(Compressed(), {0x01, 0x02});
    const CliRun broken = Call("drives");
    EXPECT_NE(broken.out.find("\tyes\tiTunesCDB (its iTunesCDB holds no track list)\n"),
              std::string::npos)
        << broken.out;
}
