#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "run_program.h"
#include "sdl/sdl_api.h"

namespace {

std::string FakeSdl(const char *variant) {
    return std::string(FAKE_SDL_DIR) + "/" + variant + "/libSDL-1.2.so.0";
}

// Which slots of the table are filled, in binding order.
std::vector<bool> FilledSlots() {
    std::vector<bool> filled;
#define VELMORA_SDL_FILLED(name) filled.push_back(sdl.name != nullptr);
    VELMORA_SDL_NAMES(VELMORA_SDL_FILLED)
#undef VELMORA_SDL_FILLED
    return filled;
}

struct BindingCase {
    const char *what;
    std::string library;
    bool succeeds;
    int filledSlots; // slots filled, counted from the first
    const char *errorMentions;
};

TEST(SdlBinding, AllOrNothing) {
    const std::vector<BindingCase> cases = {
        {"every name present", FakeSdl("complete"), true, 58, ""},
        {"last name missing", FakeSdl("no_last"), false, 57, "SDL_ConvertAudio"},
        {"first name missing", FakeSdl("no_first"), false, 0, "SDL_Init"},
        {"no library at all", "/nonexistent/libSDL-1.2.so.0", false, 0, "libSDL-1.2.so.0"},
    };
    for (const BindingCase &c : cases) {
        SCOPED_TRACE(c.what);
        sdl = SdlApi{};
        uint32_t result = BindSdlLibrary(c.library.c_str());
        EXPECT_EQ(result == 0, c.succeeds);
        std::vector<bool> filled = FilledSlots();
        ASSERT_EQ(filled.size(), 58u);
        for (int i = 0; i < 58; ++i)
            EXPECT_EQ(filled[i], i < c.filledSlots) << "slot " << i;
        if (!c.succeeds) {
            EXPECT_NE(std::string(GetLastPlatformErrorText()).find(c.errorMentions),
                      std::string::npos);
        }
    }
    sdl = SdlApi{};
}

TEST(SdlBinding, RealLibraryBindsEveryName) {
    sdl = SdlApi{};
    ASSERT_EQ(BindSdl(), 0u) << GetLastPlatformErrorText();
    std::vector<bool> filled = FilledSlots();
    for (size_t i = 0; i < filled.size(); ++i)
        EXPECT_TRUE(filled[i]) << "slot " << i;
}

TEST(SdlBinding, ProgramEndsQuietlyOnIncompleteLibrary) {
    for (const char *variant : {"no_last", "no_first"}) {
        SCOPED_TRACE(variant);
        std::string directory = std::string(FAKE_SDL_DIR) + "/" + variant;
        ProgramRun run = RunProgram(VELMORA_EXECUTABLE, "LD_LIBRARY_PATH=" + directory);
        EXPECT_EQ(run.exitCode, 0);
        // The start-up line follows SDL's initialisation, so no output means SDL was never used.
        EXPECT_EQ(run.output, "");
    }
}

} // namespace
