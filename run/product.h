// The product's identity on a machine: the names that the stub's resources carry and the names it
// gives what it makes. Macros, since the stub's resource script includes this file too.
#pragma once

#define TAILRUN_FAMILY_NAME "Brightfold"  // string resource 2001
#define TAILRUN_PRODUCT_NAME "Quorvane"   // string resource 2002
// The machine-wide single-instance guard: one run of any package at a time.
#define TAILRUN_SINGLE_INSTANCE_NAME "Quorvane.Installation"
// The working folder in the temporary folder: this prefix and a number.
#define TAILRUN_WORKING_FOLDER_PREFIX "QVT"
// The installer's MSI log in the temporary folder, when the package asks for one.
#define TAILRUN_MSI_LOG_NAME "QVNEX_msi.log.txt"
// The shared log in the temporary folder: this base name and ".log.txt".
#define TAILRUN_LOG_BASE_NAME "Tailrun"
// The stub's own file name, as built.
#define TAILRUN_STUB_FILE_NAME "Tailrun.exe"
// The file that marks a working folder as a run's own: the run holds it open, without delete
// sharing, until its clean-up, so a later run can tell a killed run's folder from a live one's.
#define TAILRUN_RUN_MARKER_NAME "~QVT.run"
