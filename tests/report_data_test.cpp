// Report naming, the PDF font's encoding and the curve's CSV file.
#include "recorder/report_data.h"

#include "recorder/file_access.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

TEST(ReportFileName, AxleAndSideWithoutSeparator) {
    EXPECT_EQ(ReportFileName("AX12", "A", "20261208"), "Report_Mounting_AX12A_20261208.pdf");
    EXPECT_EQ(ReportFileName("", "A", ""), "Report_Mounting_A_.pdf");
}

TEST(ReportFileName, SeparatorsAndRefusedCharactersAreReplaced) {
    EXPECT_EQ(ReportFileName("../../etc/x", "B", "20261208"),
              "Report_Mounting_.._.._etc_xB_20261208.pdf");
    EXPECT_EQ(FileNameSafe("a\\b:c*d?e\"f<g>h|i"), "a_b_c_d_e_f_g_h_i");
    EXPECT_EQ(FileNameSafe(".."), "__");
    EXPECT_EQ(FileNameSafe("Müller"), "Müller"); // letters stay as typed
}

TEST(WinAnsi, WesternLettersKeptOthersVisiblyReplaced) {
    EXPECT_EQ(ToWinAnsi(L"Müller"), "M\xFCller");
    EXPECT_EQ(ToWinAnsi(L"100 \x20AC"), "100 \x80");
    EXPECT_EQ(ToWinAnsi(L"\x041F\x0440\x0435\x0441\x0441"), "?????"); // Cyrillic
    EXPECT_EQ(ToWinAnsi(L"tab\there"), "tab?here");
}

namespace {
std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
} // namespace

TEST(CurveCsv, RoundTripsEverySampleExactly) {
    std::string path = testing::TempDir() + "curve_test.csv";
    JobRecord job;
    job.operatorId = "Op \"7\"";
    job.axleDesignation = "AX12";
    job.version = "1.0.8";
    std::vector<double> times{0.0, 0.075, 0.15, 79.999},
        forces{0.1, 12.345678901234567, -0.3, 1e-9};
    std::string error;
    ASSERT_TRUE(WriteCurveCsv(path, job, times, forces, {0, 7, -3, 2}, &error)) << error;
    std::vector<double> t2, f2;
    ASSERT_TRUE(ReadCurveCsv(path, t2, f2));
    EXPECT_EQ(t2, times);
    EXPECT_EQ(f2, forces);
    // Shortest text that reads back the same: no 17-digit noise.
    std::string text = ReadFile(path);
    EXPECT_NE(text.find("\n0.075,12.345678901234567,7\n"), std::string::npos) << text;
    EXPECT_NE(text.find("time_s,force_t,pressure_bar\n"), std::string::npos);
    // The results in the header: peak 12.345678901234567 t at 0.075 s.
    EXPECT_NE(text.find("# peak_force_t,12.345678901234567\n"), std::string::npos) << text;
    EXPECT_NE(text.find("# peak_time_s,0.075\n# peak_pressure_bar,7\n"), std::string::npos);
    EXPECT_NE(text.find("# recorded_length_s,79.999\n"), std::string::npos);
    std::remove(path.c_str());
}

TEST(CurveCsv, UnwritableDirectoryFailsWithReasonAndLeavesNothing) {
    std::string path = "/nonexistent-dir/x/curve.csv";
    std::string error;
    EXPECT_FALSE(WriteCurveCsv(path, JobRecord{}, {}, {}, {}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::ifstream(path).good());
}

// Fault mended: answering Yes to "File exists. Overwrite it?" destroyed the
// earlier report, which may already be the evidence of a job.
TEST(ReplacedReports, TheEarlierPairIsKeptUnderReplacedWithTheTimeOfTheMove) {
    const std::string dir = testing::TempDir() + "replaced_test_" + std::to_string(std::rand());
    ASSERT_TRUE(MakeDirectory(dir));
    const std::string pdf = dir + "/Report_Mounting_AX12B_20261208.pdf";
    const std::string csv = dir + "/Report_Mounting_AX12B_20261208.csv";
    std::ofstream(pdf) << "first pdf";
    std::ofstream(csv) << "first csv";
    std::string error;
    ASSERT_TRUE(MoveReplacedAside({pdf, csv}, "20261208-143012", &error)) << error;
    EXPECT_FALSE(PathExists(pdf));
    EXPECT_EQ(
        ReadFile(dir + "/replaced/Report_Mounting_AX12B_20261208_replaced-20261208-143012.pdf"),
        "first pdf");
    EXPECT_EQ(
        ReadFile(dir + "/replaced/Report_Mounting_AX12B_20261208_replaced-20261208-143012.csv"),
        "first csv");
    // A second replacement in the same second keeps both; a missing file is no failure.
    std::ofstream(pdf) << "second pdf";
    ASSERT_TRUE(MoveReplacedAside({pdf, csv}, "20261208-143012", &error)) << error;
    EXPECT_EQ(
        ReadFile(dir + "/replaced/Report_Mounting_AX12B_20261208_replaced-20261208-143012-2.pdf"),
        "second pdf");
}

TEST(ReplacedReports, AFileThatCannotBeMovedStopsTheReportWithItsReason) {
    std::string error;
    EXPECT_TRUE(MoveReplacedAside({"/nonexistent-dir/report.pdf"}, "s", &error));
    // "replaced" is a file where the folder should be: the report stays as it was.
    const std::string dir = testing::TempDir() + "replaced_blocked_" + std::to_string(std::rand());
    ASSERT_TRUE(MakeDirectory(dir));
    std::ofstream(dir + "/replaced") << "a file, not a folder";
    std::ofstream(dir + "/r.pdf") << "keep me";
    EXPECT_FALSE(MoveReplacedAside({dir + "/r.pdf"}, "s", &error));
    EXPECT_NE(error.find("replaced"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(dir + "/r.pdf"), "keep me");
}

TEST(RecordingResults, PeakForceItsFirstTimeAndPeakPressure) {
    const RecordingResults r =
        Summarise({0, 0.075, 0.15, 0.225}, {1, 5.5, 5.5, 2}, {10, 250, 251, 90});
    EXPECT_TRUE(r.any);
    EXPECT_EQ(r.peakForceTons, 5.5);
    EXPECT_EQ(r.peakTimeSeconds, 0.075);
    EXPECT_EQ(r.peakBar, 251);
    EXPECT_FALSE(Summarise({}, {}, {}).any);
}
