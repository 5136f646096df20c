/* The mark that the stub's build leaves in its image, by which tailpack tells a Tailrun stub from
   any other program: a resource of this type (a name) and id, holding this text. No code reads it
   in the stub; tailpack keeps it when it rewrites the stub's resources. Plain macros, as the stub's
   resource script includes this file too. */
#pragma once

#define TAILRUN_STUB_MARK_TYPE TAILRUNSTUB
#define TAILRUN_STUB_MARK_TYPE_TEXT "TAILRUNSTUB"
#define TAILRUN_STUB_MARK_ID 1
#define TAILRUN_STUB_MARK_TEXT "Tailrun stub"
