#include "sim_profile.h"

#include <cmath>
#include <cstdlib>
#include <fstream>

PressureProfile PressureProfile::Builtin(int peakBar) {
    PressureProfile p;
    const double peak = peakBar;
    p.m_points = {{0, 0},  {8, 0}, {16, peak}, {20, peak}, {24, peak}, {28, peak * 0.98},
                  {32, 0}, {40, 0}};
    return p;
}

bool PressureProfile::FromCsv(const std::string& path, PressureProfile& profile,
                              std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    profile.m_points.clear();
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const char* s = line.c_str();
        char* end = nullptr;
        double t = std::strtod(s, &end);
        if (end == s) continue; // a header line
        while (*end == ',' || *end == ';' || *end == ' ' || *end == '\t')
            ++end;
        char* end2 = nullptr;
        double bar = std::strtod(end, &end2);
        if (end2 == end) continue;
        if (!profile.m_points.empty() && t < profile.m_points.back().first) {
            error = "times must not decrease: " + line;
            return false;
        }
        profile.m_points.emplace_back(t, bar);
    }
    if (profile.m_points.empty()) {
        error = "no samples in " + path;
        return false;
    }
    return true;
}

int PressureProfile::BarAt(double seconds) const {
    if (m_points.empty()) return 0;
    double length = Length();
    if (m_repeat && length > 0) seconds = std::fmod(seconds, length);
    if (seconds <= m_points.front().first)
        return static_cast<int>(std::lround(m_points.front().second));
    for (size_t i = 1; i < m_points.size(); ++i) {
        const auto& a = m_points[i - 1];
        const auto& b = m_points[i];
        if (seconds <= b.first) {
            double span = b.first - a.first;
            double v =
                span > 0 ? a.second + (b.second - a.second) * (seconds - a.first) / span : b.second;
            return static_cast<int>(std::lround(v));
        }
    }
    return static_cast<int>(std::lround(m_points.back().second));
}
