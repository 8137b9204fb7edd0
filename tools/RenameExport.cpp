// Build tool: renames one exported symbol of a shared object in place.
//   korv_rename_export <file> <placeholder> <name>
// Linkers take "@" in a symbol name for a version marker, so an export such
// as "_CDGetReleaseControlFaculty@8" can't be linked under its own name. The
// library exports a placeholder at least as long instead; this tool writes
// the real name over it in .dynstr and rebuilds the SysV .hash table (the
// library must be linked with --hash-style=sysv: there is no .gnu.hash to
// keep consistent).
#include <elf.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class ElfFile {
public:
  explicit ElfFile(std::string bytes) : Bytes(std::move(bytes)) {}

  template <class T>
  T Read(size_t offset) const {
    Check(offset, sizeof(T));
    T value;
    std::memcpy(&value, Bytes.data() + offset, sizeof(T));
    return value;
  }
  template <class T>
  void Write(size_t offset, const T& value) {
    Check(offset, sizeof(T));
    std::memcpy(Bytes.data() + offset, &value, sizeof(T));
  }
  void Check(size_t offset, size_t size) const {
    if (offset > Bytes.size() || size > Bytes.size() - offset) throw std::runtime_error("truncated ELF file");
  }
  std::string& bytes() { return Bytes; }

private:
  std::string Bytes;
};

uint32_t ElfHash(const char* name) {
  uint32_t h = 0;
  for (auto c = reinterpret_cast<const unsigned char*>(name); *c; ++c) {
    h = (h << 4) + *c;
    uint32_t g = h & 0xF0000000u;
    if (g) h ^= g >> 24;
    h &= ~g;
  }
  return h;
}

void Rename(ElfFile& elf, const std::string& placeholder, const std::string& name) {
  if (name.size() > placeholder.size()) throw std::runtime_error("the new name is longer than the placeholder");
  auto header = elf.Read<Elf64_Ehdr>(0);
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
      header.e_ident[EI_DATA] != ELFDATA2LSB)
    throw std::runtime_error("not a 64-bit little-endian ELF file");
  std::vector<Elf64_Shdr> sections;
  for (size_t i = 0; i < header.e_shnum; ++i)
    sections.push_back(elf.Read<Elf64_Shdr>(header.e_shoff + i * sizeof(Elf64_Shdr)));

  const Elf64_Shdr* dynsym = nullptr;
  const Elf64_Shdr* hash = nullptr;
  for (const auto& s : sections) {
    if (s.sh_type == SHT_GNU_HASH) throw std::runtime_error("has .gnu.hash: link with --hash-style=sysv");
    if (s.sh_type == SHT_DYNSYM) dynsym = &s;
    if (s.sh_type == SHT_HASH) hash = &s;
  }
  if (dynsym == nullptr || hash == nullptr || dynsym->sh_link >= sections.size())
    throw std::runtime_error("no dynamic symbol or hash table");
  const Elf64_Shdr& dynstr = sections[dynsym->sh_link];
  elf.Check(dynstr.sh_offset, dynstr.sh_size);
  std::string strings = elf.bytes().substr(dynstr.sh_offset, dynstr.sh_size);

  // The placeholder must be a whole string, once, that no other name shares.
  std::string whole = '\0' + placeholder + '\0';
  size_t at = strings.find(whole);
  if (at == std::string::npos || strings.find(whole, at + 1) != std::string::npos)
    throw std::runtime_error("placeholder " + placeholder + " not found exactly once in .dynstr");
  size_t start = at + 1;
  size_t count = dynsym->sh_size / sizeof(Elf64_Sym);
  for (size_t i = 0; i < count; ++i) {
    auto sym = elf.Read<Elf64_Sym>(dynsym->sh_offset + i * sizeof(Elf64_Sym));
    if (sym.st_name > start && sym.st_name <= start + placeholder.size())
      throw std::runtime_error("another symbol shares the placeholder's bytes");
  }
  std::string replacement = name + std::string(placeholder.size() - name.size(), '\0');
  strings.replace(start, placeholder.size(), replacement);
  elf.bytes().replace(dynstr.sh_offset + start, placeholder.size(), replacement);

  // Rebuild the hash chains: nbucket, nchain, buckets, chains (32-bit words).
  uint32_t nbucket = elf.Read<uint32_t>(hash->sh_offset);
  uint32_t nchain = elf.Read<uint32_t>(hash->sh_offset + 4);
  if (nbucket == 0 || nchain != count) throw std::runtime_error("unexpected .hash layout");
  std::vector<uint32_t> buckets(nbucket, 0), chains(nchain, 0);
  for (uint32_t i = 1; i < nchain; ++i) {
    auto sym = elf.Read<Elf64_Sym>(dynsym->sh_offset + i * sizeof(Elf64_Sym));
    if (sym.st_name >= strings.size()) throw std::runtime_error("symbol name outside .dynstr");
    uint32_t b = ElfHash(strings.c_str() + sym.st_name) % nbucket;
    chains[i] = buckets[b];
    buckets[b] = i;
  }
  size_t offset = hash->sh_offset + 8;
  for (uint32_t word : buckets) elf.Write(offset, word), offset += 4;
  for (uint32_t word : chains) elf.Write(offset, word), offset += 4;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: " << argv[0] << " <shared object> <placeholder> <name>\n";
    return 2;
  }
  std::string path = argv[1];
  try {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    if (!in) throw std::runtime_error("can't be read");
    ElfFile elf(content.str());
    Rename(elf, argv[2], argv[3]);
    std::string temporary = path + ".renaming";
    {
      std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
      out.write(elf.bytes().data(), static_cast<std::streamsize>(elf.bytes().size()));
      if (!out.flush()) throw std::runtime_error("can't be written");
    }
    struct stat status {};
    if (stat(path.c_str(), &status) == 0) chmod(temporary.c_str(), status.st_mode & 07777);
    if (std::rename(temporary.c_str(), path.c_str()) != 0) throw std::runtime_error("can't be replaced");
  } catch (const std::exception& e) {
    std::cerr << path << ": " << e.what() << '\n';
    return 1;
  }
  return 0;
}
