# The end-to-end tests once more, on Debian's classic SDL 1.2 library (libsdl1.2debian) in place
# of the maintained libsdl1.2-compat that the system has installed. The two packages conflict,
# so a set-up test downloads the classic one into the build tree and unpacks it there, and the
# harness puts its folder first in the program's LD_LIBRARY_PATH. If it cannot be had, that
# set-up test fails and these tests are not run, which ctest counts as failures.
set(classic_sdl_dir ${CMAKE_BINARY_DIR}/classic-sdl)
add_test(NAME classic.FetchLibrary
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/classic-sdl ${classic_sdl_dir})
set_tests_properties(classic.FetchLibrary PROPERTIES
    LABELS e2e FIXTURES_SETUP classic_sdl TIMEOUT 600)
# The sound server's and the audio device's own tests do not start the program: once is enough.
gtest_discover_tests(velmora_e2e
    TEST_PREFIX classic.
    TEST_FILTER "-SoundServer.*:AudioDevice.*"
    PROPERTIES LABELS e2e TIMEOUT 120 RUN_SERIAL TRUE FIXTURES_REQUIRED classic_sdl
        ENVIRONMENT VELMORA_TEST_SDL_LIBRARY_DIR=${classic_sdl_dir}/lib
    DISCOVERY_TIMEOUT 60)
