// The serial-flash port primitives shared by flash identification, erase and protection.
#pragma once

#include <cstdint>

namespace brivane::sf {

void portOn(int slot);
std::uint8_t portOff(int slot);  // the result of the register write
void select(int slot);
void deselect(int slot);
void send(int slot, std::uint8_t byte);
// Shifts one byte in; `value` keeps its content when the read fails.
void receive(int slot, std::uint8_t& value);

namespace opcode {
inline constexpr std::uint8_t wrsr = 0x01;
inline constexpr std::uint8_t rdsr = 0x05;
inline constexpr std::uint8_t wren = 0x06;
inline constexpr std::uint8_t ewsr = 0x50;
inline constexpr std::uint8_t chipErase60 = 0x60;
inline constexpr std::uint8_t chipEraseC7 = 0xC7;
inline constexpr std::uint8_t rdid = 0x9F;
inline constexpr std::uint8_t rdid15 = 0x15;
inline constexpr std::uint8_t rems = 0x90;
inline constexpr std::uint8_t res = 0xAB;
}  // namespace opcode

}  // namespace brivane::sf
