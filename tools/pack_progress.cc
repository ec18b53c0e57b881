#include "tools/pack_progress.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

namespace {

double now() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::string seconds(double value) {
  long whole = static_cast<long>(value + 0.5);
  if (whole < 60) return std::to_string(whole) + " s";
  return std::to_string(whole / 60) + " min " + std::to_string(whole % 60) + " s";
}

}  // namespace

PackProgress::PackProgress(FILE* out, bool shown) : m_out(out), m_shown(shown) {}

bool PackProgress::onTerminal() {
  const char* term = getenv("TERM");
  return isatty(2) == 1 && (term == nullptr || strcmp(term, "dumb") != 0);
}

void PackProgress::stage(const std::string& text) {
  m_stage = text;
  m_start = now();
  m_lastDraw = -1;
  draw("bvpack: " + text + " ...", true);
}

void PackProgress::tick() {
  if (m_stage.empty()) return;
  draw("bvpack: " + m_stage + " ... " + seconds(now() - m_start), false);
}

void PackProgress::fraction(uint64_t done, uint64_t total) {
  draw(barLine("bvpack: " + m_stage, done, total, now() - m_start), done >= total);
}

void PackProgress::clear() {
  if (!m_shown || !m_drawn) return;
  fputs("\r\033[K", m_out);
  fflush(m_out);
  m_drawn = false;
}

std::string PackProgress::barLine(const std::string& text, uint64_t done, uint64_t total, double elapsed,
                                  int width) {
  if (total == 0) total = 1;
  if (done > total) done = total;
  int filled = static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * width);
  std::string line = text + " [" + std::string(static_cast<size_t>(filled), '#') +
                     std::string(static_cast<size_t>(width - filled), '.') + "] ";
  int percent = static_cast<int>(static_cast<double>(done) * 100 / static_cast<double>(total));
  line += (percent < 10 ? "  " : percent < 100 ? " " : "") + std::to_string(percent) + "%";
  if (done > 0 && done < total && elapsed >= 1) {
    double left = elapsed * static_cast<double>(total - done) / static_cast<double>(done);
    line += "  about " + seconds(left) + " left";
  }
  return line;
}

void PackProgress::draw(const std::string& line, bool force) {
  if (!m_shown) return;
  double t = now();
  if (!force && m_lastDraw >= 0 && t - m_lastDraw < 0.25) return;
  m_lastDraw = t;
  fprintf(m_out, "\r\033[K%s", line.c_str());
  fflush(m_out);
  m_drawn = true;
}
