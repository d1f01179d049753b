// The PDF printer's own DEVMODE, from its driver.
#include <windows.h>
#include <winspool.h>

#include "kopiwa_driver.h"

namespace kopiwa {

std::vector<BYTE> PdfDevMode(bool landscape, std::string printer) {
    const LONG size = DocumentPropertiesA(nullptr, nullptr, &printer[0], nullptr, nullptr, 0);
    if (size <= 0) return {};
    std::vector<BYTE> block(static_cast<size_t>(size));
    auto* mode = reinterpret_cast<DEVMODEA*>(block.data());
    DocumentPropertiesA(nullptr, nullptr, &printer[0], mode, nullptr, DM_OUT_BUFFER);
    if (landscape) {
        mode->dmOrientation = DMORIENT_LANDSCAPE;
        mode->dmFields |= DM_ORIENTATION;
    }
    return block;
}

}  // namespace kopiwa
