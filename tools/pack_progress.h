// bvpack's progress while it makes a runtime: one line on standard error,
// redrawn in place, only when standard error is a terminal (and TERM is
// not "dumb"); nothing at all in a pipe, a file or CI's log. A stage whose
// end cannot be told (jdeps, jlink) shows its name and the seconds so far;
// the compression of the runtime shows a bar, the share done and an
// estimate of the time left. The line is cleared when the stage ends, so
// that the messages printed after it stand alone.
#ifndef BV_TOOLS_PACK_PROGRESS_H_
#define BV_TOOLS_PACK_PROGRESS_H_

#include <cstdint>
#include <cstdio>
#include <string>

class PackProgress {
 public:
  // Shows progress on out when shown is set (see onTerminal()).
  PackProgress(FILE* out, bool shown);
  ~PackProgress() { clear(); }
  PackProgress(const PackProgress&) = delete;
  PackProgress& operator=(const PackProgress&) = delete;

  // Whether standard error is a terminal that redraws a line.
  static bool onTerminal();

  // A new stage named text ("jlink: making the runtime"); its clock starts.
  void stage(const std::string& text);
  // Redraws the stage's seconds (at most four times a second).
  void tick();
  // Redraws a bar of done out of total (at most four times a second).
  void fraction(uint64_t done, uint64_t total);
  // Clears the line.
  void clear();

  // The line of a bar: "text [####......]  40%  about 12 s left" for done
  // of total after elapsed seconds (no estimate in the first second or
  // before anything is done). width: the bar's characters.
  static std::string barLine(const std::string& text, uint64_t done, uint64_t total, double elapsed,
                             int width = 30);

 private:
  void draw(const std::string& line, bool force);

  FILE* m_out;
  bool m_shown;
  std::string m_stage;
  double m_start = 0;
  double m_lastDraw = -1;
  bool m_drawn = false;
};

#endif  // BV_TOOLS_PACK_PROGRESS_H_
