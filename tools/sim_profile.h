// Pressure profiles of the press module simulator: the built-in press cycle or
// a CSV file of time (s) and pressure (bar), interpolated linearly.
#pragma once

#include <string>
#include <vector>

class PressureProfile {
  public:
    /// The built-in press cycle: idle, a ramp to `peakBar`, a hold, a release, idle.
    static PressureProfile Builtin(int peakBar = 320);
    /// A CSV file of "time_s,bar" lines ("#" comments and a header allowed).
    static bool FromCsv(const std::string& path, PressureProfile& profile, std::string& error);

    /// Pressure in whole bar at `seconds` since the connection was accepted.
    int BarAt(double seconds) const;
    double Length() const { return m_points.empty() ? 0 : m_points.back().first; }
    void SetRepeat(bool repeat) { m_repeat = repeat; }

  private:
    std::vector<std::pair<double, double>> m_points;
    bool m_repeat = true;
};
