// A throw-away Wine-style prefix for one test: drive_c, and dosdevices links for other letters.
// WINEPREFIX points at it while the object lives; what the test puts on it through Machine.h and
// fails to put fails the test.
#pragma once

#include <string>

class TestPrefix {
  public:
    TestPrefix();
    ~TestPrefix();
    TestPrefix(const TestPrefix&) = delete;
    TestPrefix& operator=(const TestPrefix&) = delete;

    // Maps a drive letter to a Unix folder, as Wine's dosdevices links do.
    void MapDrive(char letter, const std::string& target);
    const std::string& Root() const { return root_; }
    // The Unix path of C:\ in this prefix.
    std::string DriveC() const { return root_ + "/drive_c"; }

  private:
    std::string root_;
    std::string savedPrefix_;
    bool hadPrefix_ = false;
};

// A throw-away proc root for one test: PALLWICK_PROC_ROOT names it while the object lives, so
// that the layer's performance objects read what the test wrote there instead of this host.
class TestProcRoot {
  public:
    TestProcRoot();
    ~TestProcRoot();
    TestProcRoot(const TestProcRoot&) = delete;
    TestProcRoot& operator=(const TestProcRoot&) = delete;

    // A file below the root, its folders made as needed.
    void Write(const std::string& relative, const std::string& text) const;
    // A process as /proc shows one: its stat (utime 30, stime 20), statm and open descriptors.
    void AddProcess(int pid, const std::string& command, int ppid = 1, int threads = 1,
                    long startTicks = 0, long residentPages = 1, int descriptors = 0) const;
    void RemoveProcess(int pid) const;
    const std::string& Root() const { return root_; }

  private:
    std::string root_;
};

// The wineboot-made prefix that the tests' prefix fixture names in PALLWICK_WINEBOOT_PREFIX, or ""
// when there is none: the case then skips. Only cases with "Wineboot" in their names run with the
// fixture, so any other case that asks fails here instead of skipping unnoticed in every run.
std::string WinebootPrefix();

// Makes the wineboot-made prefix the machine image for the rest of the case (a TestPrefix that the
// case holds puts its own back); under Wine the running prefix is that image already. False when
// there is none: the case then skips. The layer's registry, read from the image before, is read
// again only after RestoreTestRegistry (TestMachine.h).
bool UseWinebootImage();
