// How /bin/sh reads the quoting of a command: the one model that the
// launcher uses wherever it must know it (the quoting of values in a launch
// command, bvpack's check of a template, the size of the words that a
// command gives its program).
//
// The model follows dash, and bash in its POSIX mode, where the two agree:
// outside quotes, '...', "...", a backslash (before a line break it joins
// lines, anywhere but in '...' and comments), comments (a "#" that starts a
// word), parameters ($name, $1, $#, ${...}), $(...) nested to any depth,
// $((...)) and back quotes. It does not guess where the shells part ways or
// where following the shell would take a full parser; from such a place on
// the model is lost, and no value may stand after it:
//   $'...', $"..." and $[...]   (bash reads them; dash reads a "$" and a
//                                quoted string)
//   ${...} holding quotes, a backslash, $, back quotes, braces, parentheses
//   or a line break             (the shells nest quotes in it differently)
//   back quotes holding quotes, a backslash, $, #, parentheses, braces, "<"
//   or a line break             (their end and content are read differently)
//   $((...)) holding more than names, numbers, blanks and operators
//   ((, <( and >(              (bash: arithmetic, process substitution)
//   a here-document (<<)        (its body is read line by line)
//   the word "case" inside $(...)  (its patterns end with a lone ")")
//
// The text is read in pieces: each piece runs up to the next place where a
// value is inserted (valueFollows) or to the end of the command. A value is
// text that the shell is to read as exactly its bytes; place() tells how it
// must be written where it now stands.
//
// Single-threaded, like the whole launcher; one object per command.
#ifndef BV_PLATFORM_SHELL_READER_H_
#define BV_PLATFORM_SHELL_READER_H_

#include <vector>

#include "foundation/sstring.h"

class ShellReader {
 public:
  // Where the next byte would stand.
  enum Place {
    PLACE_UNQUOTED,  // outside quotes
    PLACE_SINGLE,    // inside '...'
    PLACE_DOUBLE,    // inside "..."
    PLACE_COMMENT,   // in a comment: the shell ignores it
    PLACE_REFUSED,   // where the model cannot follow the shell (refusal())
  };

  // The words that a command gives its programs, measured as the programs
  // receive them: quotes and the backslashes that quote a byte do not
  // count, an expansion or substitution counts as long as its text.
  struct Words {
    unsigned long count = 0;    // words
    unsigned long bytes = 0;    // their bytes, without terminators
    unsigned long longest = 0;  // the longest word's bytes
  };

  ShellReader();

  // Reads the next piece of shell text: everything up to the next value
  // (valueFollows) or up to the end of the command.
  void read(const SString& text, bool valueFollows);
  // A value of at least one byte was inserted at place() (not in a comment,
  // not refused): the next byte of text continues its word.
  void valueRead();

  Place place() const;
  // With PLACE_REFUSED: where the value would stand, as the end of "A value
  // cannot be inserted ...": "inside back quotes", "after $'...', which
  // shells read in different ways", ...
  const char* refusal() const;
  // The offset of the construct that refusal() speaks of.
  unsigned long refusalAt() const { return m_refusalAt; }
  // True when the text's last byte is a backslash that would quote the
  // value's first byte (outside quotes or inside "..."). A line break
  // written first makes the two a line continuation, which the shell drops.
  bool escapesNext() const { return m_escaped; }
  // The offset (in all the text read) of a "$" that the value's first byte
  // would join to an expansion ("$" + "'..." is $'...' for bash), or npos.
  // A backslash written before that "$" keeps it a plain "$".
  unsigned long bareDollar() const { return m_dollar; }
  // True when the text ends in a parameter name ("$x", inside "...") that
  // the value's first byte could lengthen: a "" written first ends it.
  bool endsName() const { return m_name; }
  // The bytes of text read so far.
  unsigned long offset() const { return m_offset; }

  // At the end of the command: the construct left open, innermost first,
  // as the message that names it ("This single quote is never closed in
  // the shell command."), with *at its offset; nullptr when all is closed
  // (or the model was lost, which refusal() tells).
  const char* unclosed(unsigned long* at) const;

  // The words read so far (see Words).
  Words words() const;

  // The words of a whole command, values already in it.
  static Words measure(const SString& command);

 private:
  enum State { STATE_UNQUOTED, STATE_SINGLE, STATE_DOUBLE, STATE_COMMENT };
  struct Frame {
    State state = STATE_UNQUOTED;
    bool substitution = false;     // a $(...) (the first frame is the command)
    unsigned long openedAt = 0;    // offset of its "$(" / of the open quote
    long parens = 0;               // "(" open inside a $(...)
    bool wordStart = true;         // the next byte starts a word (for "#")
    bool plainWord = false;        // the word so far is letters only
    SString word;                  // those letters (for "case")
  };

  // The handlers of one construct; each takes text from i on and returns
  // the position of the next byte to read.
  unsigned long readUnquoted(const SString& text, unsigned long i);
  unsigned long readDollar(const SString& text, unsigned long i, bool valueFollows);
  unsigned long readBraced(const SString& text, unsigned long dollar, unsigned long i, bool valueFollows);
  unsigned long readArithmetic(const SString& text, unsigned long dollar, unsigned long i,
                               bool valueFollows);
  unsigned long readBackQuotes(const SString& text, unsigned long i, bool valueFollows);
  // The word of the frame ends: "case" inside $(...) loses the model.
  void endWord(Frame& f, unsigned long at);
  void lose(const char* reason, unsigned long at);
  // A construct that reached the end of the piece: inside it when a value
  // follows, left open at the end of the command otherwise.
  void stopInside(const char* inside, const char* unclosed, unsigned long at, bool valueFollows);

  // Word measuring.
  void countBytes(unsigned long n);
  void endMeasuredWord();

  std::vector<Frame> m_frames;
  const char* m_refusal = nullptr;      // set once the model is lost or stuck
  unsigned long m_refusalAt = 0;
  const char* m_unclosed = nullptr;     // a construct open at the end
  unsigned long m_unclosedAt = 0;
  bool m_escaped = false;
  unsigned long m_dollar = SString::npos;
  bool m_name = false;
  unsigned long m_offset = 0;           // of the piece being read
  Words m_words;
  bool m_inWord = false;
  unsigned long m_wordBytes = 0;
};

#endif  // BV_PLATFORM_SHELL_READER_H_
