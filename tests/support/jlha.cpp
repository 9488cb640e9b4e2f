#include "support/jlha.h"

#include <cstdlib>
#include <fstream>

namespace koushin::testing {

namespace fs = std::filesystem;

namespace {

constexpr char kJar[] = "/usr/share/java/jlhafrontend.jar";
constexpr char kLibraryJar[] = "/usr/share/java/jlha.jar";

std::string Quoted(const std::string& word) { return "'" + word + "'"; }

}  // namespace

bool MakeWithJlha(const fs::path& folder, const std::vector<JlhaArchive>& archives) {
  std::vector<const JlhaArchive*> missing;
  for (const JlhaArchive& archive : archives) {
    if (!fs::exists(folder / fs::u8path(archive.name))) missing.push_back(&archive);
  }
  if (missing.empty()) return true;
  // One Java start for every archive (a JVM start costs a second), through a small launcher run
  // from source (so Java with its compiler, the JDK). It also drives jlha's library itself for the
  // methods and header levels jlha's command line does not offer ("lib 3 -lh1-").
  std::ofstream(folder / "Batch.java")
      << "import jp.gr.java_conf.dangan.util.lha.*;\n"
         "import java.io.*;\n"
         "public class Batch {\n"
         "  public static void main(String[] args) throws Exception {\n"
         "    for (String a : args) {\n"
         "      String[] w = a.split(\"\\n\");\n"
         "      if (w[0].startsWith(\"lib \")) library(w);\n"
         "      else org.jlhafrontend.JLHAFrontEnd.main(w);\n"
         "    }\n"
         "  }\n"
         "  static void library(String[] w) throws Exception {\n"
         "    String[] how = w[0].split(\" \");\n"
         "    try (LhaOutputStream out = new LhaOutputStream(new FileOutputStream(w[1]))) {\n"
         "      for (int i = 2; i < w.length; i++) {\n"
         "        File f = new File(w[i]);\n"
         "        LhaHeader h = new LhaHeader(w[i], new java.util.Date(f.lastModified()));\n"
         "        h.setHeaderLevel(Integer.parseInt(how[1]));\n"
         "        h.setCompressMethod(how[2]);\n"
         "        h.setOriginalSize(f.length());\n"
         "        out.putNextEntry(h);\n"
         "        java.nio.file.Files.copy(f.toPath(), out);\n"
         "        out.closeEntry();\n"
         "      }\n"
         "    }\n"
         "  }\n"
         "}\n";
  // Java spells file names in the locale's character set.
  const std::string java =
      "cd " + Quoted(folder.u8string()) + " && LC_ALL=C.UTF-8 java -Dlha.encoding=MS932 ";
  std::string script = java + "-cp " + kJar + ":" + kLibraryJar + " Batch.java";
  for (const JlhaArchive* archive : missing) {
    script += " $'" + archive->command + "\\n" + archive->name;
    for (const std::string& member : archive->members) script += "\\n" + member;
    script += "'";
  }
  script += " >/dev/null 2>&1\n";
  const fs::path scriptFile = folder / "make-archives.sh";
  std::ofstream(scriptFile) << script;
  std::system(("bash " + Quoted(scriptFile.u8string())).c_str());
  for (const JlhaArchive& archive : archives) {
    if (!fs::exists(folder / fs::u8path(archive.name))) return false;
  }
  return true;
}

}  // namespace koushin::testing
