// Standard input, output and error that the parent left closed.
#pragma once

namespace Zarn {

// Opens each of descriptors 0, 1 and 2 that is closed on /dev/null, so that
// nothing zarn opens later (a pipe, a state file) takes its place and gets
// the log or a recipe's input by mistake. Call first, before anything opens
// a file.
void openClosedStandardDescriptors();

}  // namespace Zarn
