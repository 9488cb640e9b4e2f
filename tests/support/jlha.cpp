#include "support/jlha.h"

#include <cstdlib>
#include <fstream>

namespace koushin::testing {

namespace fs = std::filesystem;

namespace {

constexpr char kJar[] = "/usr/share/java/jlhafrontend.jar";

std::string Quoted(const std::string& word) { return "'" + word + "'"; }

}  // namespace

bool MakeWithJlha(const fs::path& folder, const std::vector<JlhaArchive>& archives) {
  std::vector<const JlhaArchive*> missing;
  for (const JlhaArchive& archive : archives) {
    if (!fs::exists(folder / fs::u8path(archive.name))) missing.push_back(&archive);
  }
  if (missing.empty()) return true;
  // One Java start for every archive (a JVM start costs a second), through a small launcher run
  // from source; one start per archive is the fallback for a Java without its compiler.
  std::ofstream(folder / "Batch.java")
      << "public class Batch {\n"
         "  public static void main(String[] args) throws Exception {\n"
         "    for (String a : args) org.jlhafrontend.JLHAFrontEnd.main(a.split(\"\\n\"));\n"
         "  }\n"
         "}\n";
  const std::string java = "cd " + Quoted(folder.u8string()) + " && LC_ALL=C.UTF-8 java -Dlha.encoding=MS932 ";
  std::string script = java + "-cp " + kJar + " Batch.java";
  for (const JlhaArchive* archive : missing) {
    script += " $'" + archive->command + "\\n" + archive->name;
    for (const std::string& member : archive->members) script += "\\n" + member;
    script += "'";
  }
  script += " >/dev/null 2>&1\n";
  for (const JlhaArchive* archive : missing) {
    script += "[ -e " + Quoted(archive->name) + " ] || " + java + "-jar " + kJar + " " +
              Quoted(archive->command) + " " + Quoted(archive->name);
    for (const std::string& member : archive->members) script += " " + Quoted(member);
    script += " >/dev/null 2>&1\n";
  }
  const fs::path scriptFile = folder / "make-archives.sh";
  std::ofstream(scriptFile) << script;
  std::system(("bash " + Quoted(scriptFile.u8string())).c_str());
  for (const JlhaArchive& archive : archives) {
    if (!fs::exists(folder / fs::u8path(archive.name))) return false;
  }
  return true;
}

}  // namespace koushin::testing
