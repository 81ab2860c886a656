// Key codes of the control laws: the engine keeps the Windows virtual-key codes as its own, and a key table
// holds 256 bytes indexed by them (non-zero = down).
#pragma once

enum EZevVirtualKey : unsigned char {
    ZevKeyLeft = 0x25,
    ZevKeyUp = 0x26,
    ZevKeyRight = 0x27,
    ZevKeyDown = 0x28,
    ZevKeyA = 0x41,
    ZevKeyB = 0x42,
    ZevKeyC = 0x43,
    ZevKeyD = 0x44,
    ZevKeyE = 0x45,
    ZevKeyS = 0x53,
    ZevKeyX = 0x58,
    ZevKeyZ = 0x5A,
};
