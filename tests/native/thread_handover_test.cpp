// The hand-overs between the user-interface thread and the playback thread: Config waits for a
// remote-selection poll the playback thread is running, and Quit waits for a block in progress.
// A command file that is a named pipe holds the playback thread inside its poll for as long as
// the test wants.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params_rig.h"
#include "platform/platform.h"

namespace {

constexpr int kBlockFrames = 576;
// Long enough for Config or Quit to have returned by then had it not waited; the tests pass
// whatever the machine's speed, since the waiting side cannot finish before the poll does.
constexpr auto kHoldTime = std::chrono::milliseconds(300);

std::atomic<uint32_t> clockMs{1000000};
uint32_t testClock() { return clockMs.load(); }

struct PluginWithHeldPoll {
    paramsrig::ScratchFolder folder;
    winampDSPModule* module = nullptr;
    std::string commandPath;
    std::thread playback;
    int writer = -1;

    // Starts the plug-in with the console closed and a block on a second thread whose poll is
    // stuck reading the command pipe.
    void start() {
        platform::setTickSourceForTesting(testClock);
        initDone = false;
        setRandomSeedOverride(true, 1);
        module = winampDSPGetHeader2()->getModule(0);
        ASSERT_EQ(module->Init(module), 0);
        ASSERT_NE(PluginEngine().registry.windows, nullptr);
        ASSERT_EQ(PluginEngine().registry.windows->hwnd, nullptr) << "console closed: the playback thread polls";
        commandPath = folder.file("DV_Select.tmp");
        ASSERT_EQ(mkfifo(commandPath.c_str(), 0600), 0);
        playback = std::thread([this] {
            std::vector<short> block(2 * kBlockFrames, 1000);
            module->ModifySamples(module, block.data(), kBlockFrames, 16, 2, 44100);
        });
        // The writer end opens only once the poll has the pipe open for reading; the poll then
        // waits in its read until the command is written.
        while (writer < 0) {
            writer = open(commandPath.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer < 0) {
                ASSERT_EQ(errno, ENXIO);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }

    void finishPoll(const char* command) {
        ASSERT_EQ(write(writer, command, std::strlen(command)), static_cast<ssize_t>(std::strlen(command)));
        close(writer);
        writer = -1;
    }

    ~PluginWithHeldPoll() {
        if (writer >= 0) close(writer);
        if (playback.joinable()) playback.join();
        platform::setTickSourceForTesting(nullptr);
    }
};

}  // namespace

TEST(ThreadHandover, ConfigWaitsForThePlaybackThreadsPollBeforeTheConsoleOpens) {
    PluginWithHeldPoll plugin;
    plugin.start();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_STRNE(PluginEngine().live.presetName, PluginEngine().presets.factoryNames[2]);

    std::atomic<bool> configReturned{false};
    char nameWhenConfigReturned[kPresetNameSize] = {};
    std::thread userInterface([&] {
        plugin.module->Config(plugin.module);
        // What the console would show first: the poll's preset must be complete by now.
        std::memcpy(nameWhenConfigReturned, PluginEngine().live.presetName, sizeof nameWhenConfigReturned);
        configReturned = true;
    });
    std::this_thread::sleep_for(kHoldTime);
    EXPECT_FALSE(configReturned.load()) << "Config returned while the playback thread was loading a preset";
    plugin.finishPoll("-2\r\n");
    userInterface.join();
    plugin.playback.join();

    EXPECT_STREQ(nameWhenConfigReturned, PluginEngine().presets.factoryNames[2]) << "F3, loaded by the poll";
    EXPECT_FALSE(plugin.folder.exists("DV_Select.tmp")) << "the command is consumed";
    plugin.module->Quit(plugin.module);
}

TEST(ThreadHandover, QuitWaitsForABlockInProgressBeforeWritingTheSettings) {
    PluginWithHeldPoll plugin;
    plugin.start();
    ASSERT_FALSE(HasFatalFailure());

    std::atomic<bool> quitReturned{false};
    std::thread userInterface([&] {
        plugin.module->Quit(plugin.module);
        quitReturned = true;
    });
    std::this_thread::sleep_for(kHoldTime);  // beyond Quit's own 100 ms wait
    EXPECT_FALSE(quitReturned.load()) << "Quit went on while a block was still running";
    plugin.finishPoll("-2\r\nDefault\r\n");
    userInterface.join();
    plugin.playback.join();

    // The startup preset the running block's poll set reached the settings file Quit wrote.
    const std::string settings = plugin.folder.read(kSettingsFileName);
    EXPECT_NE(settings.find("General.StartupPreset          = -2\r\n"), std::string::npos) << settings;

    // After Quit every block passes untouched.
    std::vector<short> block(2 * kBlockFrames, 32767);
    EXPECT_EQ(plugin.module->ModifySamples(plugin.module, block.data(), kBlockFrames, 16, 2, 44100), kBlockFrames);
    EXPECT_EQ(block, std::vector<short>(2 * kBlockFrames, 32767));
}
