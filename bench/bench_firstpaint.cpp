// Time from a program's start until the X server shows its first complete
// screen, read from the server's own pixels: the screen is read back every
// few milliseconds while the program runs, and once it has stopped changing
// (only a blinking cursor going on and off) for the settling time, the first
// screen is the earliest reading that equals one of the screens of that
// resting stretch. The same measure serves for any program: the window
// opening a file, or an editor in a terminal.
// Usage: quillex-bench-firstpaint SETTLE_SECONDS COMMAND [ARGUMENT...]
// (under an X server of its own, for example xvfb-run); prints the seconds.
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

// A hash of the whole screen's pixels as the server holds them.
bool ScreenHash(xcb_connection_t* connection, const xcb_screen_t* screen, size_t& hash)
{
    const xcb_get_image_cookie_t cookie = xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0,
        screen->width_in_pixels, screen->height_in_pixels, ~0u);
    xcb_get_image_reply_t* reply = xcb_get_image_reply(connection, cookie, nullptr);
    if (!reply)
        return false;
    const auto* data = reinterpret_cast<const char*>(xcb_get_image_data(reply));
    hash = std::hash<std::string_view> {}(std::string_view(data, size_t(xcb_get_image_data_length(reply))));
    std::free(reply);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || std::atof(argv[1]) <= 0) {
        std::fprintf(stderr, "usage: quillex-bench-firstpaint SETTLE_SECONDS COMMAND [ARGUMENT...]\n");
        return 2;
    }
    const auto settle = std::chrono::duration<double>(std::atof(argv[1]));
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "quillex-bench-firstpaint: no X server\n");
        return 1;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;

    const TClock::time_point start = TClock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        std::perror(argv[2]);
        _exit(127);
    }
    // Every reading: when it was taken and what it showed.
    std::vector<std::pair<TClock::time_point, size_t>> readings;
    TClock::time_point lastNew = start;
    std::set<size_t> seen;
    bool exited = false;
    while (!exited && TClock::now() - start < std::chrono::minutes(5)) {
        size_t hash = 0;
        if (!ScreenHash(connection, screen, hash))
            break;
        const TClock::time_point now = TClock::now();
        readings.emplace_back(now, hash);
        // The resting stretch begins at the last screen never seen before,
        // once the program has shown something.
        if (seen.insert(hash).second)
            lastNew = now;
        else if (seen.size() > 1 && now - lastNew >= settle)
            break;
        exited = waitpid(child, nullptr, WNOHANG) == child;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!exited) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
    }
    xcb_disconnect(connection);
    if (exited || readings.size() < 2 || readings.back().first - lastNew < settle) {
        std::fprintf(stderr, "quillex-bench-firstpaint: %s did not come to rest showing a screen\n", argv[2]);
        return 1;
    }
    std::set<size_t> resting;
    for (const auto& [when, hash] : readings)
        if (when >= lastNew)
            resting.insert(hash);
    if (resting.count(readings.front().second)) {
        std::fprintf(stderr, "quillex-bench-firstpaint: %s showed nothing\n", argv[2]);
        return 1;
    }
    for (const auto& [when, hash] : readings) {
        if (resting.count(hash)) {
            std::printf("%.3f\n", std::chrono::duration<double>(when - start).count());
            return 0;
        }
    }
    return 1;
}
