// Feeds arbitrary bytes to the skin description reader and checks what an accepted
// description promises: the library area derives from any "files window" without
// undefined behaviour, the values stay inside their fields, and the hit test answers an id
// of the table or none.

#include <cstdint>
#include <string_view>

#include "skin/SkinDescription.h"

using namespace spinlorex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    SkinModel model;
    const DescriptionVerdict verdict = readSkinDescription(text, model);

    if (model.values.fontName.size() > kMaxFontName ||
        model.values.simpleInfos.size() > kMaxTemplate ||
        model.values.extendedInfos.size() > kMaxTemplate)
        __builtin_trap();
    if (verdict == DescriptionVerdict::Accepted) {
        const int32_t height = size > 0 ? static_cast<int32_t>(data[0]) * 7 + 600 : 600;
        deriveLibraryLayout(model.controls, height);
    }
    const SkinControl& files = model.control(ctl::FilesWindow);
    for (const int32_t panel : {-1, 0, 2, 5}) {
        for (const int32_t mode : {-1, 0, 1}) {
            const int32_t id = hitTest(model, files.hitLeft, files.hitTop, panel, mode);
            if (id < ctl::None || id >= kControlCount) __builtin_trap();
            hitTest(model, files.right - 1, files.bottom - 1, panel, mode);
        }
    }
    return 0;
}
