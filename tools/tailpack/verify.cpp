#include "tools/tailpack/verify.h"

#include "package/placeholders.h"
#include "package/stored_name.h"
#include "tools/tailpack/create.h"
#include "tools/tailpack/launch_check.h"
#include "tools/tailpack/report.h"
#include "tools/tailpack/text.h"

namespace tailpack {

verification verify_package(byte_source& file) {
  verification verified;
  package_contents contents;
  std::string name_problem;
  std::size_t number = 0;
  verified.result = walk_chain(file, [&](chain_entry& entry) {
    ++number;
    if (entry.kind != entry_kind::file) {
      contents.add(entry);
      return true;
    }
    const std::string where = "entry #" + std::to_string(number) + ": stored name " + quoted(entry.value);
    if (!is_safe_stored_name(entry.value)) {
      name_problem = where + " leaves the working folder or names a device: the stub refuses to extract it";
      return false;
    }
    const std::string failure = stored_name_failure(entry.value);
    if (!failure.empty()) {
      name_problem = where + " " + failure + ": the stub cannot write it";
      return false;
    }
    contents.add(entry);
    return true;
  });
  const std::string reason = verdict_reason(verified.result);
  if (!name_problem.empty()) {
    verified.problems.push_back(name_problem);
  } else if (!verified.result.accepted) {
    verified.problems.push_back("not accepted: " + reason);
  } else {
    if (!reason.empty()) verified.warnings.push_back(reason);
    const std::string problem = launch_problem(contents);
    if (!problem.empty()) {
      verified.problems.push_back("the stub could not launch the installer: " + problem);
    } else {
      verified.launch_file = expand_placeholders(*contents.settings().find("executable32"), contents.settings());
    }
  }
  return verified;
}

}  // namespace tailpack
