// Serial port channels: a serial device held open under a small channel number, of
// which only the DTR and RTS settings are ever changed. Nothing is read from or
// written to the port. Every failure is recorded in the caller's error status.
#pragma once

#include <cstdint>
#include <string>

#include "serial/error_status.h"

using ChannelNumber = std::int16_t;

// Line settings: each changes one field of the port's control block.
inline constexpr int SETTING_DTR_HANDSHAKE = 9;  // fDtrControl: 0 disable, else handshake
inline constexpr int SETTING_RTS_CONTROL = 18;   // fRtsControl: the low two bits of the value

// A number from 1 to 32767 that is not open now; rising, wrapping after 32767.
ChannelNumber reserveChannelNumber();

// Opens `deviceName` (a byte string, handed to the platform unchanged) for exclusive
// use on `channel`. Errors: 64 empty name or wildcard, 52 negative channel, 5 buffer
// length below 1, 55 already open, 7 no memory, 69 the platform refused or the name
// reached a disk file.
void openSerialChannel(ChannelNumber channel, const std::string& deviceName,
                       std::int32_t receiveBufferLength);

// Read-modify-write of the control block. Errors: 52 not open, the mapped number when
// the settings cannot be read, 5 when they cannot be written.
void setLineSetting(ChannelNumber channel, int settingId, std::int32_t value);

// Releases the channel's device; nothing happens on a channel that is not open.
void closeSerialChannel(ChannelNumber channel);
