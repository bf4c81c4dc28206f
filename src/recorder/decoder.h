// Decoder of the pressure module's text readings. A reading is a sign token,
// a value in bar, a status (0 or 3) and at least one token more; tokens are
// separated by spaces and carriage returns only, so a line feed is a token.
#pragma once

#include <cstddef>
#include <optional>

/// The pressure in bar of the first complete reading in `text[0..length)`,
/// or nothing when the text holds no complete reading. Pure: no state kept,
/// safe on any thread.
std::optional<int> DecodeReading(const char* text, std::size_t length);
