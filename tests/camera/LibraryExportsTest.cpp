// The entry tables checked against data kept apart from them
// (LibraryExports.txt, written out by hand): the bindings look the names up
// in that order, and the built libraries export exactly those names besides
// their control entries.
#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "camera/sdk/CDAPI.h"
#include "camera/sdk/PRAPI.h"
#include "camera/sdk/RCAPI.h"
#include "runtime/ProgramDir.h"

namespace korv {
namespace {

// Library file -> entry names, in the file's order.
std::map<std::string, std::vector<std::string>> ListedExports() {
  std::ifstream in(KORV_SOURCE_DIR "/tests/camera/LibraryExports.txt");
  std::map<std::string, std::vector<std::string>> tables;
  std::vector<std::string>* table = nullptr;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') table = &tables[line.substr(1, line.size() - 2)];
    else if (table != nullptr) table->push_back(line);
  }
  return tables;
}

// The functions a loaded library defines in its dynamic symbol table (the
// camera libraries carry a SysV hash table, whose chain count is the
// number of symbols).
std::vector<std::string> DefinedFunctions(void* handle) {
  link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return {};
  const ElfW(Sym)* symbols = nullptr;
  const char* strings = nullptr;
  const ElfW(Word)* hash = nullptr;
  for (const ElfW(Dyn)* entry = map->l_ld; entry->d_tag != DT_NULL; ++entry) {
    if (entry->d_tag == DT_SYMTAB) symbols = reinterpret_cast<const ElfW(Sym)*>(entry->d_un.d_ptr);
    if (entry->d_tag == DT_STRTAB) strings = reinterpret_cast<const char*>(entry->d_un.d_ptr);
    if (entry->d_tag == DT_HASH) hash = reinterpret_cast<const ElfW(Word)*>(entry->d_un.d_ptr);
  }
  std::vector<std::string> names;
  if (symbols == nullptr || strings == nullptr || hash == nullptr) return names;
  for (ElfW(Word) i = 0; i < hash[1]; ++i)
    if (symbols[i].st_shndx != SHN_UNDEF && ELF64_ST_TYPE(symbols[i].st_info) == STT_FUNC)
      names.emplace_back(strings + symbols[i].st_name);
  return names;
}

TEST(LibraryExports, BindingsAndBuiltLibrariesFollowTheWrittenTables) {
  LoadCDSDK();
  LoadPRSDK();
  LoadRCSDK();
  const auto listed = ListedExports();
  const std::pair<const char*, const SDKLibrary*> libraries[] = {
      {"CDSDK.DLL", &CDSDKLibrary()}, {"PRSDK.DLL", &PRSDKLibrary()}, {"RCSDK.DLL", &RCSDKLibrary()}};
  for (const auto& [file, library] : libraries) {
    SCOPED_TRACE(file);
    ASSERT_TRUE(listed.count(file));
    const std::vector<std::string>& expected = listed.at(file);

    std::vector<std::string> bound;
    for (const SDKEntryBase* entry : library->entries()) bound.emplace_back(entry->exportName());
    EXPECT_EQ(bound, expected) << "the binding order";

    std::vector<std::string> exported;
    for (std::string& name : DefinedFunctions(library->handle()))
      if (name.rfind("CamSim", 0) != 0) exported.push_back(std::move(name));
    std::sort(exported.begin(), exported.end());
    std::vector<std::string> names = expected;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(exported, names) << "what " << file << " exports";
  }
}

}  // namespace
}  // namespace korv
