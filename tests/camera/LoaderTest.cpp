#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "camera/sdk/CDAPI.h"
#include "camera/sdk/PRAPI.h"
#include "camera/sdk/RCAPI.h"
#include "runtime/Exception.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace korv {
namespace {

void ExpectAllBound(const SDKLibrary& library, size_t count) {
  ASSERT_TRUE(library.loaded());
  EXPECT_EQ(library.entries().size(), count);
  EXPECT_EQ(library.bindings(), count);
  for (const SDKEntryBase* entry : library.entries()) EXPECT_TRUE(entry->bound()) << entry->exportName();
}

TEST(SDKLoading, TheThreeLibrariesLoadFromTheProgramFolderWithEveryEntryBound) {
  LoadCDSDK();
  LoadPRSDK();
  LoadRCSDK();
  ExpectAllBound(CDSDKLibrary(), 153);
  ExpectAllBound(PRSDKLibrary(), 25);
  ExpectAllBound(RCSDKLibrary(), 202);
  EXPECT_STREQ(CDGetReleaseControlFaculty.exportName(), "_CDGetReleaseControlFaculty@8");

  void* handle = CDSDKLibrary().handle();
  LoadCDSDK();
  LoadRCSDK();
  EXPECT_EQ(CDSDKLibrary().handle(), handle);
  EXPECT_EQ(CDSDKLibrary().bindings(), 153u) << "a second load binds nothing again";
  EXPECT_EQ(RCSDKLibrary().bindings(), 202u);

  // Entries no backend calls answer "Unimplemented".
  EXPECT_EQ(CDFinishSDK(), SDKUnimplemented);
  EXPECT_EQ(PR_FinishSDK(), SDKUnimplemented);
  EXPECT_EQ(RCFormat(), SDKUnimplemented);
}

// The cases below need a program folder without (some of) the libraries:
// the test executable copies itself into a fresh folder and runs one
// LoaderChild case there, which only runs when KORV_LOADER_CHILD is set.
int RunCopyIn(const std::string& folder, const std::string& testCase) {
  std::string program = folder + "/loader_child";
  std::filesystem::copy_file("/proc/self/exe", program);
  std::string filter = "--gtest_filter=LoaderChild." + testCase;
  std::vector<std::string> env{"KORV_LOADER_CHILD=1"};
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  std::vector<char*> argv{program.data(), filter.data(), nullptr};
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return -2;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
}

TEST(SDKLoading, MissingLibrariesFailAsSpecifiedEachTimeTheyAreTried) {
  test::TempDir folder;
  EXPECT_EQ(RunCopyIn(folder.path(), "MissingLibraries"), 0);
}

TEST(SDKLoading, ALibraryLackingAnEntryFailsNamingTheUnitAndKeepsTheEntriesBeforeIt) {
  test::TempDir folder;
  std::filesystem::copy_file(KORV_INCOMPLETE_CDSDK, folder.file("CDSDK.DLL"));
  EXPECT_EQ(RunCopyIn(folder.path(), "IncompleteLibrary"), 0);
}

bool InChild() { return std::getenv("KORV_LOADER_CHILD") != nullptr; }

template <class E, class F>
std::string MessageOf(F call) {
  try {
    call();
  } catch (const E& e) {
    return e.message();
  }
  return "(nothing raised)";
}

TEST(LoaderChild, MissingLibraries) {
  if (!InChild()) GTEST_SKIP() << "runs in a copy of the program (SDKLoading)";
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(MessageOf<EInOutError>(LoadCDSDK), "CDSDK.DLL could not be loaded");
    EXPECT_EQ(MessageOf<EInOutError>(LoadRCSDK), "RCSDK.DLL could not be loaded");
    EXPECT_NO_THROW(LoadPRSDK());
  }
  EXPECT_FALSE(CDSDKLibrary().loaded());
  EXPECT_FALSE(PRSDKLibrary().loaded());
  EXPECT_EQ(PRSDKLibrary().bindings(), 0u);
  EXPECT_EQ(MessageOf<EInOutError>([] { PR_StartSDK(); }),
            "PR_StartSDK is not available: PRSDK.DLL is not loaded or lacks this entry");
  EXPECT_EQ(MessageOf<EInOutError>([] { CDStartSDK(nullptr, 0); }),
            "CDStartSDK is not available: CDSDK.DLL is not loaded or lacks this entry");
}

TEST(LoaderChild, IncompleteLibrary) {
  if (!InChild()) GTEST_SKIP() << "runs in a copy of the program (SDKLoading)";
  EXPECT_EQ(MessageOf<EAssertionFailed>(LoadCDSDK), "Assertion failure (CDAPI, line 4)");
  EXPECT_EQ(CDStartSDK(nullptr, 0), SDKOk);
  EXPECT_EQ(CDGetSDKVersion(), SDKOk);
  EXPECT_FALSE(CDEnumDeviceReset.bound());
  EXPECT_EQ(MessageOf<EInOutError>([] { CDEnumDeviceReset(1, nullptr); }),
            "CDEnumDeviceReset is not available: CDSDK.DLL is not loaded or lacks this entry");
  EXPECT_NO_THROW(LoadCDSDK()) << "the library counts as loaded";
  EXPECT_EQ(CDSDKLibrary().bindings(), 3u);
}

}  // namespace
}  // namespace korv
