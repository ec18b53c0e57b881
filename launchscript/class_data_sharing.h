// The hook through which the launch command gets the options of class-data
// sharing (%CDS_OPTIONS%()).
//
// The template function %CDS_OPTIONS%() stands for options that only the
// finished command can decide: they depend on the Java that runs, the class
// path and the other Java options, which later parts of the template (%CP%,
// the side files) add. So the function leaves a mark, and when the command
// is complete, LaunchScript::execute splits it into the words that the
// program will receive and asks the ClassDataSharing it was given for the
// options, which take the mark's place, each as one value. Without such an
// object, or when the command is not one program with quoted words
// (simple_command.h), or when the mark does not stand as a word of its own
// outside quotes, the function adds nothing.
#ifndef BV_LAUNCHSCRIPT_CLASS_DATA_SHARING_H_
#define BV_LAUNCHSCRIPT_CLASS_DATA_SHARING_H_

#include <string>
#include <vector>

class ClassDataSharing {
 public:
  virtual ~ClassDataSharing() = default;
  // The options for the command of words (words[0] the program; each word
  // as the program receives it, without the options asked for), which runs
  // in workingDirectory (empty: the launcher's current folder). Empty for
  // none.
  virtual std::vector<std::string> optionsFor(const std::vector<std::string>& words,
                                              const std::string& workingDirectory) = 0;
  // The command ended normally with exitCode.
  virtual void commandEnded(long exitCode) = 0;
};

#endif  // BV_LAUNCHSCRIPT_CLASS_DATA_SHARING_H_
