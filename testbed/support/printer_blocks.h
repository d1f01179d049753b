// Printer blocks as the tests build them: a DEVNAMES block, as the print
// dialog hands one over and the copier stores it.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <cstring>
#include <vector>

namespace wintest {

// The DEVNAMES header followed by the three names, each with its NUL.
inline std::vector<BYTE> DevNamesBlock(const char* driver, const char* device, const char* output, WORD flags) {
    std::vector<BYTE> block(sizeof(DEVNAMES));
    auto append = [&](const char* text) {
        const WORD offset = static_cast<WORD>(block.size());
        block.insert(block.end(), text, text + std::strlen(text) + 1);
        return offset;
    };
    const WORD driverOffset = append(driver);
    const WORD deviceOffset = append(device);
    const WORD outputOffset = append(output);
    auto* names = reinterpret_cast<DEVNAMES*>(block.data());
    names->wDriverOffset = driverOffset;
    names->wDeviceOffset = deviceOffset;
    names->wOutputOffset = outputOffset;
    names->wDefault = flags;
    return block;
}

}  // namespace wintest
