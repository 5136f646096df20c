#include "tools/tailpack/verify.h"

#include "pe/image.h"
#include "tools/tailpack/simulated_system.h"
#include "tools/tailpack/stub_judgement.h"

namespace tailpack {

verification verify_package(byte_source& file, const std::string& package_path, const std::string& temp_folder,
                            std::optional<unsigned> code_page, bool allow_changed_stub) {
  verification verified;
  const std::string image = program_image_problem(file);
  if (!image.empty()) verified.problems.push_back("the package does not begin with the stub's image: " + image);

  simulated_system machine(file, package_path, temp_folder, nullptr, code_page);
  verified.outcome = perform_run(machine, "");
  const run_outcome& outcome = verified.outcome;
  if (!outcome.launched) {
    verified.problems.push_back(why_not_launched(outcome));
  } else if (outcome.launch_outside) {
    verified.problems.push_back("the file to launch, \"" + outcome.launch.file +
                                "\", lies outside the working folder: nothing in the package vouches for it");
  } else {
    verified.launch_file = outcome.launch.file.substr(outcome.working_folder.size());
  }
  for (const simulated_system::written_file& written : machine.files())
    if (!written.unsigned_kind.empty())
      verified.warnings.push_back("\"" + written.path.substr(outcome.working_folder.size()) + "\" is " +
                                  written.unsigned_kind + " without a signature of its own: Smart App Control "
                                  "blocks it, even inside a signed package");
  verified.signing = signing_of(file, outcome.walk);
  if (image.empty() && outcome.walk.stop == walk_stop::stub) {
    const stub_judgement stub = judge_stub_image(file, outcome.walk.stub_start);
    if (stub.changed && allow_changed_stub)
      verified.warnings.push_back(stub.problem + " (allowed by --allow-changed-stub)");
    else if (!stub.problem.empty())
      verified.problems.insert(verified.problems.begin(), stub.problem);
  }
  return verified;
}

}  // namespace tailpack
