// Decoder of the pressure module's text readings. A reading is a sign token
// ("+" or "-"), a value in bar, a status (0 or 3) and then a line end or a
// further token. Tokens are separated by spaces, carriage returns and line
// feeds. The stream arrives in pieces of any size: the decoder keeps the bytes
// of an unfinished reading for the next piece, so a reading split between two
// receives, or several readings in one, are all decoded, in order.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

class ReadingStream {
  public:
    /// Decodes `length` bytes that follow the bytes fed before; appends the
    /// pressure (bar) of every reading they complete to `readings`.
    void Feed(const char* bytes, std::size_t length, std::vector<int>& readings);
    /// Forgets a reading in progress (a new connection starts afresh).
    void Reset();

    /// Tokens longer than this are garbage: they are never a sign, and a value
    /// that long does not fit in an int.
    static constexpr std::size_t kMaxToken = 32;

  private:
    enum class Expect { Sign, Value, Status, End };
    void EndToken();

    Expect m_state = Expect::Sign;
    int m_sign = 1;
    int m_value = 0;
    char m_token[kMaxToken + 1] = {0};
    std::size_t m_tokenLength = 0;
    bool m_inToken = false;
    bool m_overlong = false;
};

/// The pressure in bar of the first complete reading in `text[0..length)`,
/// or nothing when the text holds none. Pure: no state kept, safe on any thread.
std::optional<int> DecodeReading(const char* text, std::size_t length);
