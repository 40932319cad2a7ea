// The printed bell plan as kt64prog writes it: the PDF rendered by pdftoppm
// and looked at as pixels (pages, their shape, ink on them, the day off's
// shaded column), and one page kept under screenshots/ for people to see.
#include <gtest/gtest.h>

#include <fstream>

#include "ProgramFixture.h"
#include "ProgramRun.h"

namespace kt64::test {
namespace {

using namespace kt64::program;

// A grey page of pdftoppm -gray: "P5 width height 255" and a byte a pixel.
struct GreyPage {
    int width = 0, height = 0;
    std::string pixels;
    int at(double x, double y) const {
        return static_cast<unsigned char>(
            pixels[static_cast<std::size_t>(static_cast<int>(y * height) * width + static_cast<int>(x * width))]);
    }
};

GreyPage readPgm(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    int maximum = 0;
    GreyPage page;
    in >> magic >> page.width >> page.height >> maximum;
    in.get();
    page.pixels.assign(static_cast<std::size_t>(page.width * page.height), '\0');
    in.read(page.pixels.data(), static_cast<std::streamsize>(page.pixels.size()));
    EXPECT_EQ(magic, "P5");
    EXPECT_TRUE(in) << file;
    return page;
}

TEST(PlanPdf, TwoRelaysOnTwoLandscapePagesWithTheDayOffShaded) {
    OpenProgram p;
    const CivilDate wed{2024, 5, 8};
    const auto holiday = insertBlock(p.db(), BlockRow{0, 9, "Dni wolne"});
    insertDate(p.db(), dateRow(holiday, wed, wed, true));
    for (int hour = 8; hour < 16; ++hour) {
        insertCommand(p.db(), commandRow(1, 1, kImpulsePlus, hour, 0, kMondayToFriday, 5));
        insertCommand(p.db(), commandRow(1, 1, kImpulsePlus, hour, 45, kMondayToFriday, 5));
    }
    insertCommand(p.db(), commandRow(1, 2, kOn, 7, 30, kMondayToFriday));
    insertCommand(p.db(), commandRow(1, 2, kOff, 16, 0, kMondayToFriday));
    const auto program = p.folder.path / "szkola.dsk";
    ASSERT_TRUE(p.document.saveDocument(program));

    const auto pdf = p.folder.path / "plan.pdf";
    auto run = runProgram({KT64PROG_PATH, "plan", program, "--week", "2024-W19", "--pdf", pdf}, p.folder.path);
    ASSERT_EQ(run.code, 0) << run.err;
    run = runProgram({"/usr/bin/pdftoppm", "-r", "40", "-gray", pdf, p.folder.path / "page"}, p.folder.path);
    ASSERT_EQ(run.code, 0) << run.err;
    std::vector<std::filesystem::path> pages;
    for (const auto& e : std::filesystem::directory_iterator(p.folder.path))
        if (e.path().extension() == ".pgm") pages.push_back(e.path());
    std::sort(pages.begin(), pages.end());
    ASSERT_EQ(pages.size(), 2u);
    for (const auto& file : pages) {
        SCOPED_TRACE(file.filename().string());
        const GreyPage page = readPgm(file);
        // A4 across: 297 by 210 mm.
        EXPECT_NEAR(static_cast<double>(page.width) / page.height, 297.0 / 210.0, 0.02);
        const auto ink = std::count_if(page.pixels.begin(), page.pixels.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 128; });
        EXPECT_GT(ink, static_cast<long>(page.pixels.size() / 200));
        // Seven columns within 12 mm margins: Wednesday's is shaded,
        // Tuesday's is not.
        auto column = [](double d) { return (12 + 273 * (d + 0.5) / 7) / 297; };
        EXPECT_NEAR(page.at(column(2), 0.8), 0xE4, 12);
        EXPECT_EQ(page.at(column(1), 0.8), 255);
    }

    // One page for people to look at.
    std::filesystem::create_directories(KT64_SCREENSHOT_DIR);
    run = runProgram({"/usr/bin/pdftoppm", "-r", "100", "-png", "-f", "1", "-singlefile", pdf,
                      std::string(KT64_SCREENSHOT_DIR) + "/bell-plan"},
                     p.folder.path);
    EXPECT_EQ(run.code, 0) << run.err;
}

TEST(PlanPdf, AFileThatCannotBeWrittenIsNamed) {
    OpenProgram p;
    const auto program = p.folder.path / "szkola.dsk";
    ASSERT_TRUE(p.document.saveDocument(program));
    const auto pdf = p.folder.path / "missing" / "plan.pdf";
    const auto run = runProgram({KT64PROG_PATH, "plan", program, "--pdf", pdf}, p.folder.path);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find(pdf.string()), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(pdf));
}

}  // namespace
}  // namespace kt64::test
