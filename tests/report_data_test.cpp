// Report naming, the PDF font's encoding and the curve's CSV file.
#include "station/report_data.h"

#include "records/file_access.h"
#include "station/local_time.h"
#include "records/recording.h"

#include <gtest/gtest.h>

#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <cerrno>
#include <fstream>

TEST(ReportFileName, AxleAndSideWithoutSeparator) {
    EXPECT_EQ(ReportFileName("AX12", "A", "20261208"), "Report_Mounting_AX12A_20261208.pdf");
    EXPECT_EQ(ReportFileName("", "A", ""), "Report_Mounting_A_.pdf");
}

// Fault mended: an axle of 64 emoji (256 bytes) gave "File name too long"
// and no report. The name, a reprint's too, fits 255 bytes, cut between
// characters.
TEST(ReportFileName, ALongAxleIsCutBetweenCharactersToFitTheFileSystem) {
    std::string axle;
    for (int i = 0; i < 64; ++i)
        axle += "\xF0\x9F\x9A\x82"; // a locomotive
    const std::string name = ReportFileName(axle, "A", "20261208");
    EXPECT_LE(name.size() + 24, 255u);
    EXPECT_EQ(name.rfind("Report_Mounting_\xF0\x9F\x9A\x82", 0), 0u);
    EXPECT_EQ(name.substr(name.size() - 14), "A_20261208.pdf");
    EXPECT_EQ((name.size() - 16 - 14) % 4, 0u); // whole characters only
    const std::string path = testing::TempDir() + name;
    FILE* file = OpenPath(path, "wb");
    ASSERT_NE(file, nullptr) << std::strerror(errno);
    std::fclose(file);
    EXPECT_TRUE(PathExists(path));
    RemovePath(path);
    EXPECT_EQ(ReportFileName("AX12", "A", "20261208"), "Report_Mounting_AX12A_20261208.pdf");
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

// Faults mended: a computed force was written as its shortest round trip
// ("455.14439999999996"), and a field typed as "=HYPERLINK(…)" was run as a
// formula by the spreadsheet that opened the file.
TEST(CurveCsv, ValuesAtTheirResolutionAndNoFieldIsAFormula) {
    std::string path = testing::TempDir() + "curve_test.csv";
    Recording r;
    r.setup.job.operatorId = "Op \"7\"";
    r.setup.job.axleDesignation = "=HYPERLINK(\"http://x\",\"AX\")";
    r.setup.job.bearingDesignation = "+BRG";
    r.setup.job.productionDate = "-2024";
    r.setup.job.refurbishmentDate = "@SUM(A1)";
    r.setup.version = "1.0.8";
    r.setup.recordLengthSeconds = 80;
    r.times = {0.0, 0.075, 0.15, 79.999};
    r.forces = {0.1, 455.14439999999996, -0.00001, 1e-9};
    r.pressures = {0, 7, -3, 2};
    std::string error;
    ASSERT_TRUE(WriteCurveCsv(path, r, &error)) << error;
    std::vector<double> t2, f2;
    ASSERT_TRUE(ReadCurveCsv(path, t2, f2));
    EXPECT_EQ(t2, r.times);
    std::string text = ReadFile(path);
    EXPECT_NE(text.find("time_s,force_t,pressure_bar\n0.000,0.1000,0\n0.075,455.1444,7\n"
                        "0.150,0.0000,-3\n79.999,0.0000,2\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("# peak_force_t,455.1444\n# peak_force_kN,4463.442\n"
                        "# peak_time_s,0.075\n# peak_pressure_bar,7\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("# recorded_length_s,79.999\n"), std::string::npos);
    EXPECT_NE(text.find("# operator_id,\"Op \"\"7\"\"\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("# axle_designation,\"'=HYPERLINK(\"\"http://x\"\",\"\"AX\"\")\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("# bearing_designation,\"'+BRG\"\n"), std::string::npos);
    EXPECT_NE(text.find("# production_date,\"'-2024\"\n"), std::string::npos);
    EXPECT_NE(text.find("# refurbishment_date,\"'@SUM(A1)\"\n"), std::string::npos);
    std::remove(path.c_str());
}

TEST(CurveCsv, UnwritableDirectoryFailsWithReasonAndLeavesNothing) {
    std::string path = "/nonexistent-dir/x/curve.csv";
    std::string error;
    EXPECT_FALSE(WriteCurveCsv(path, Recording{}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::ifstream(path).good());
}

// Fault mended: a re-mount of the same axle side that day asked "File exists.
// Overwrite it?" and moved the first (FAIL) report into replaced/, so the
// folder showed only the PASS. Each report now takes a name of its own.
TEST(ReportNames, AReMountTakesTheNextFreeNameAndNothingIsMoved) {
    const std::string dir =
        testing::TempDir() + "names_test_" +
        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    ASSERT_TRUE(MakeDirectory(dir));
    const std::string name = "Report_Mounting_AX12B_20261208.pdf";
    EXPECT_EQ(UnusedReportName(dir, name), name);
    std::ofstream(dir + "/Report_Mounting_AX12B_20261208.pdf") << "first pdf";
    EXPECT_EQ(UnusedReportName(dir + "/", name), "Report_Mounting_AX12B_20261208_2.pdf");
    // A CSV file alone (the page declined, or removed) holds its name too.
    std::ofstream(dir + "/Report_Mounting_AX12B_20261208_2.csv") << "second csv";
    EXPECT_EQ(UnusedReportName(dir, name), "Report_Mounting_AX12B_20261208_3.pdf");
    EXPECT_EQ(ReadFile(dir + "/Report_Mounting_AX12B_20261208.pdf"), "first pdf");
    // The longest axle still leaves room for "_999" and a reprint's stamp.
    const std::string longest = ReportFileName(std::string(300, 'A'), "B", "20261208");
    EXPECT_LE(longest.size() - 4 + 4 + std::string("_reprint-20261208-143012.pdf").size(), 255u);
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

#ifndef _WIN32
namespace {

/// Runs the test's body in the time zone `zone`, then goes back.
class InZone {
  public:
    explicit InZone(const char* zone) {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (m_had) m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~InZone() {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    bool m_had = false;
    std::string m_old;
};

} // namespace
#endif

// Fault mended: dates were taken in a fixed UTC+1 while times were local, so
// in Rome in summer a report made between 00:00 and 01:00 carried the
// previous day, and far from UTC for hours a day.
TEST(LocalDates, TheDateIsTheLocalDayOfTheSameInstant) {
#ifdef _WIN32
    GTEST_SKIP() << "the C library of Windows reads no zone names from TZ";
#else
    {
        InZone rome("Europe/Rome");
        const int64_t july20 = 1784498400 + 20 * 60; // 2026-07-20 00:20 in Rome (UTC+2)
        EXPECT_EQ(IsoDateTime(july20), "2026-07-20 00:20:00");
        EXPECT_EQ(FileDate(july20), "20260720");
        EXPECT_EQ(FileStamp(july20), "20260720-002000");
        EXPECT_EQ(IsoDate(july20), "2026-07-20");
        EXPECT_EQ(IsoTime(july20), "00:20:00");
    }
    {
        InZone kiritimati("Pacific/Kiritimati"); // UTC+14
        const int64_t utcEvening = 1796752800;   // 2026-12-08 18:00 UTC
        EXPECT_EQ(IsoDateTime(utcEvening), "2026-12-09 08:00:00");
        EXPECT_EQ(FileDate(utcEvening), "20261209");
    }
    {
        InZone pagoPago("Pacific/Pago_Pago"); // UTC-11
        EXPECT_EQ(IsoDateTime(1796752800), "2026-12-08 07:00:00");
    }
#endif
}
