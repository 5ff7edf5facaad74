// SPDX-FileCopyrightText: 2026 The Vantor device authors
//
// SPDX-License-Identifier: Apache-2.0

#include "bench/summary.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>
#include <utility>

namespace bench {
namespace {

using Json = nlohmann::json;

// Keys of a benchmark entry that are not counters.
const std::set<std::string>& MetadataKeys() {
  static const std::set<std::string>* const keys = new std::set<std::string>{
      "name",           "run_name",         "run_type",
      "repetitions",    "repetition_index", "threads",
      "iterations",     "real_time",        "cpu_time",
      "time_unit",      "family_index",     "per_family_instance_index",
      "aggregate_name", "aggregate_unit",   "label",
      "error_occurred", "error_message"};
  return *keys;
}

double NanosecondsPer(const std::string& time_unit) {
  if (time_unit == "us")
    return 1e3;
  if (time_unit == "ms")
    return 1e6;
  if (time_unit == "s")
    return 1e9;
  return 1;
}

std::map<std::string, double> FieldsOf(const Json& entry) {
  std::map<std::string, double> fields;
  const double scale = NanosecondsPer(entry.value("time_unit", "ns"));
  for (const auto& [key, value] : entry.items()) {
    if (!value.is_number())
      continue;
    if (key == "real_time" || key == "cpu_time")
      fields[key] = value.get<double>() * scale;
    else if (!MetadataKeys().count(key))
      fields[key] = value.get<double>();
  }
  return fields;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Printf(const char* format, double value) {
  char buffer[64];
  snprintf(buffer, sizeof(buffer), format, value);
  return buffer;
}

std::string FormatValue(double value, Unit unit) {
  switch (unit) {
    case Unit::kNanoseconds:
      if (value < 1e3)
        return Printf("%.2f ns", value);
      if (value < 1e6)
        return Printf("%.2f us", value / 1e3);
      return Printf("%.2f ms", value / 1e6);
    case Unit::kPerSecond:
      if (value >= 1e6)
        return Printf("%.2f M/s", value / 1e6);
      if (value >= 1e3)
        return Printf("%.1f k/s", value / 1e3);
      return Printf("%.1f /s", value);
    case Unit::kMicroseconds:
      return Printf("%.1f us", value);
    case Unit::kMilliseconds:
      return Printf("%.1f ms", value);
    case Unit::kCount:
      return Printf("%.0f", value);
  }
  return "";
}

std::string FormatAllocs(double allocs) {
  // Averages over iterations: whole numbers unless something is amortized.
  return allocs == static_cast<long long>(allocs) ? Printf("%.0f", allocs)
                                                  : Printf("%.2f", allocs);
}

std::string TargetText(const Row& row) {
  std::vector<std::string> parts;
  if (row.max_ratio > 0)
    parts.push_back(Printf("<= %.2fx", row.max_ratio));
  if (row.max_value > 0)
    parts.push_back("< " + FormatValue(row.max_value, row.unit));
  if (row.max_allocs == kAllocsOfBaseline)
    parts.push_back("allocs <= baseline");
  else if (row.max_allocs >= 0)
    parts.push_back("allocs <= " + std::to_string(row.max_allocs));
  std::string text;
  for (const std::string& part : parts)
    text += (text.empty() ? "" : ", ") + part;
  return text.empty() ? "-" : text;
}

// The library writes NaN and infinities as bare words (the coefficient of
// variation of a counter that is always 0 is NaN), which JSON has no words
// for; they become null, which no figure uses.
std::string WithoutNonFiniteNumbers(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  bool in_string = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      out += c;
      if (c == '\\' && i + 1 < text.size())
        out += text[++i];
      else if (c == '"')
        in_string = false;
      continue;
    }
    if (c == '"')
      in_string = true;
    bool replaced = false;
    for (const char* word :
         {"NaN", "-Infinity", "Infinity", "-inf", "inf", "-nan", "nan"}) {
      const size_t size = strlen(word);
      if (text.compare(i, size, word) == 0) {
        out += "null";
        i += size - 1;
        replaced = true;
        break;
      }
    }
    if (!replaced)
      out += c;
  }
  return out;
}

}  // namespace

bool ReadBenchmarkJson(const std::string& text,
                       Runs* runs,
                       std::string* error) {
  const Json document = Json::parse(WithoutNonFiniteNumbers(text), nullptr,
                                    /*allow_exceptions=*/false);
  if (document.is_discarded() || !document.is_object() ||
      !document.contains("benchmarks") || !document["benchmarks"].is_array()) {
    *error = "not the JSON output of a benchmark binary";
    return false;
  }
  std::set<std::string> with_median;
  // Single runs by name, for output without repetitions.
  std::map<std::string, std::vector<std::map<std::string, double>>> singles;
  for (const Json& entry : document["benchmarks"]) {
    if (!entry.is_object())
      continue;
    const std::string name =
        entry.value("run_name", entry.value("name", std::string()));
    if (entry.value("error_occurred", false)) {
      (*runs)[name].error = entry.value("error_message", std::string("failed"));
      continue;
    }
    if (entry.value("run_type", std::string()) == "aggregate") {
      if (entry.value("aggregate_name", std::string()) == "median") {
        (*runs)[name].fields = FieldsOf(entry);
        with_median.insert(name);
      }
      continue;
    }
    singles[name].push_back(FieldsOf(entry));
  }
  for (const auto& [name, entries] : singles) {
    if (with_median.count(name) || !(*runs)[name].error.empty())
      continue;
    std::map<std::string, std::vector<double>> values;
    for (const auto& fields : entries) {
      for (const auto& [key, value] : fields)
        values[key].push_back(value);
    }
    RunFigures& run = (*runs)[name];
    for (const auto& [key, list] : values)
      run.fields[key] = Median(list);
  }
  return true;
}

RowResult Evaluate(const Row& row, const Runs& runs) {
  RowResult result;
  for (const std::string& name : {row.figure, row.baseline}) {
    auto it = runs.find(name);
    if (it == runs.end()) {
      result.why_not = "not run: " + name;
      return result;
    }
    if (!it->second.error.empty()) {
      result.why_not = "skipped: " + it->second.error;
      return result;
    }
  }
  const RunFigures& figure = runs.at(row.figure);
  const RunFigures& baseline = runs.at(row.baseline);
  const std::string& baseline_field =
      row.baseline_field.empty() ? row.field : row.baseline_field;
  auto figure_value = figure.fields.find(row.field);
  auto baseline_value = baseline.fields.find(baseline_field);
  // Only a count may be 0 (a time or rate of 0 is a benchmark that did not
  // measure).
  const double least = row.unit == Unit::kCount ? 0 : 1e-300;
  if (figure_value == figure.fields.end() ||
      baseline_value == baseline.fields.end() || figure_value->second < least ||
      baseline_value->second < least) {
    result.why_not = "no " + row.field + " figure";
    return result;
  }
  result.available = true;
  result.figure = figure_value->second;
  result.baseline = baseline_value->second;
  result.has_ratio = result.baseline > 0;
  if (result.has_ratio) {
    result.ratio = row.unit == Unit::kPerSecond
                       ? result.baseline / result.figure
                       : result.figure / result.baseline;
  }
  auto figure_allocs = figure.fields.find("allocs");
  auto baseline_allocs = baseline.fields.find("allocs");
  result.has_allocs = figure_allocs != figure.fields.end() &&
                      baseline_allocs != baseline.fields.end();
  if (result.has_allocs) {
    result.figure_allocs = figure_allocs->second;
    result.baseline_allocs = baseline_allocs->second;
  }

  result.has_target =
      row.max_ratio > 0 || row.max_value > 0 || row.max_allocs != -1;
  result.met = true;
  if (row.max_ratio > 0 && (!result.has_ratio || result.ratio > row.max_ratio))
    result.met = false;
  if (row.max_value > 0 && result.figure >= row.max_value)
    result.met = false;
  if (row.max_allocs != -1) {
    // Averages: a one-time allocation spread over the iterations is noise.
    constexpr double kSlack = 0.005;
    const double limit = row.max_allocs == kAllocsOfBaseline
                             ? result.baseline_allocs
                             : row.max_allocs;
    if (!result.has_allocs || result.figure_allocs > limit + kSlack)
      result.met = false;
  }
  return result;
}

std::string FormatTable(const std::vector<Row>& rows, const Runs& runs) {
  std::vector<std::vector<std::string>> cells = {
      {"figure", "measured", "baseline", "ratio", "allocs", "target", "met?"}};
  for (const Row& row : rows) {
    const RowResult result = Evaluate(row, runs);
    if (!result.available) {
      cells.push_back({row.label, result.why_not});
      continue;
    }
    cells.push_back({row.label, FormatValue(result.figure, row.unit),
                     FormatValue(result.baseline, row.unit),
                     result.has_ratio ? Printf("%.2fx", result.ratio) : "-",
                     result.has_allocs
                         ? FormatAllocs(result.figure_allocs) + " / " +
                               FormatAllocs(result.baseline_allocs)
                         : "-",
                     TargetText(row),
                     result.has_target ? (result.met ? "yes" : "NO") : "-"});
  }
  std::vector<size_t> widths(cells[0].size(), 0);
  for (const auto& line : cells) {
    // A row that could not be evaluated has its reason span the table.
    const size_t columns = line.size() == widths.size() ? line.size() : 1;
    for (size_t i = 0; i < columns; ++i)
      widths[i] = std::max(widths[i], line[i].size());
  }
  std::string table;
  for (const auto& line : cells) {
    std::string text;
    for (size_t i = 0; i < line.size(); ++i) {
      std::string cell = line[i];
      if (i + 1 < line.size())
        cell.resize(std::max(widths[i], cell.size()), ' ');
      text += (i ? "  " : "") + cell;
    }
    table += text + "\n";
  }
  return table;
}

Row Compare(const std::string& label,
            const std::string& figure,
            const std::string& baseline) {
  Row row;
  row.label = label;
  row.figure = figure;
  row.baseline = baseline;
  return row;
}

namespace {

// The rows being built; each Add returns the row just added, for its
// target.
class Rows {
 public:
  Row& Add(const std::string& label,
           const std::string& figure,
           const std::string& baseline) {
    rows_.push_back(Compare(label, figure, baseline));
    return rows_.back();
  }
  // A row read from counters rather than from the run's time.
  Row& AddCounters(const std::string& label,
                   const std::string& run,
                   const char* field,
                   const char* baseline_field,
                   Unit unit) {
    Row& row = Add(label, run, run);
    row.field = field;
    row.baseline_field = baseline_field;
    row.unit = unit;
    return row;
  }
  std::vector<Row>* Release() { return new std::vector<Row>(std::move(rows_)); }

 private:
  std::vector<Row> rows_;
};

void AddBridgeRows(Rows* rows) {
  Row& scalar = rows->Add("bridge: scalar hop", "BM_Scalar_Bridge",
                          "BM_Scalar_DirectVirtual");
  scalar.max_ratio = 1.5;
  scalar.max_allocs = 0;
  rows->Add("bridge: scalar hop, vs hand-written hop", "BM_Scalar_Bridge",
            "BM_Scalar_MinimalHop");
  for (const std::string size : {"12", "64"}) {
    Row& row = rows->Add("bridge: string argument, " + size + " B",
                         "BM_StringArg_Bridge/" + size,
                         "BM_StringArg_MinimalHop/" + size);
    row.max_ratio = 1.5;
    row.max_allocs = kAllocsOfBaseline;
  }
  rows->Add("bridge: string result, 12 B", "BM_StringResult_Bridge",
            "BM_StringResult_MinimalHop")
      .max_allocs = kAllocsOfBaseline;
  rows->Add("bridge: vector of 8 string pairs", "BM_Vector8Pairs_Bridge",
            "BM_Vector8Pairs_MinimalHop");
  rows->Add("bridge: one-shot callback, cross + run",
            "BM_OneShotCallback_Bridge", "BM_OneShotCallback_Direct");
}

// No sample may be copied, so no allocation may happen either.
void AddAudioBufferRows(Rows* rows) {
  rows->Add("audio buffer: structure side", "BM_Buffer_StructureSide/160",
            "BM_Buffer_DirectVirtual/160")
      .max_allocs = 0;
  for (const std::string frames : {"160", "16000"}) {
    rows->Add("audio buffer: both sides, " + frames + " frames",
              "BM_Buffer_BothSides/" + frames,
              "BM_Buffer_DirectVirtual/" + frames)
        .max_allocs = 0;
  }
}

void AddTaskQueueRows(Rows* rows) {
  const std::pair<const char*, const char*> kThroughputs[] = {
      {"1 producer, one core", "SameCore"},
      {"1 producer, two cores", "OtherCores"},
      {"2 producers", "TwoProducers"}};
  for (const auto& [label, suffix] : kThroughputs) {
    const std::string family = std::string("BM_Throughput") + suffix;
    Row& row =
        rows->Add(std::string("task queue: 1e6 tasks, ") + label,
                  family + "<CoreQueue>/iterations:1/real_time",
                  family + "<bench::BaselineQueue>/iterations:1/real_time");
    row.field = "items_per_second";
    row.baseline_field = "";
    row.unit = Unit::kPerSecond;
    row.max_ratio = 1.5;
  }
  // Its time is spent waiting on another thread: wall-clock time.
  rows->Add("task queue: post -> run -> answer, two cores",
            "BM_RoundTrip<CoreQueue>/real_time",
            "BM_RoundTrip<bench::BaselineQueue>/real_time")
      .field = "real_time";
}

void AddStateFileRows(Rows* rows) {
  for (const std::string where : {"disk", "tmpfs"}) {
    const std::string name = "BM_MicMuteLatency/" + where + "/iterations:1";
    Row& p99 = rows->AddCounters(
        "mic mute (" + where + "): rename -> callback, p99", name,
        "plugin_p99_us", "floor_p99_us", Unit::kMicroseconds);
    p99.max_ratio = 2.0;
    p99.max_value = 1000;
    rows->AddCounters("mic mute (" + where + "): rename -> callback, median",
                      name, "plugin_median_us", "floor_median_us",
                      Unit::kMicroseconds);
  }
  // A close ends the writes before it: reported at once, far below the
  // quiet time that a writer keeping the file open waits for. The watcher
  // also wakes for the writes, which the floor does not hear.
  const char kInPlace[] = "BM_MicMuteLatency/tmpfs_in_place/iterations:1";
  rows->AddCounters("mic mute (tmpfs): in-place write -> callback, p99",
                    kInPlace, "plugin_p99_us", "floor_p99_us",
                    Unit::kMicroseconds)
      .max_value = 1000;
  rows->AddCounters("mic mute (tmpfs): in-place write -> callback, median",
                    kInPlace, "plugin_median_us", "floor_median_us",
                    Unit::kMicroseconds);
  // The price of a durable name: a folder sync per write.
  for (const std::string where : {"disk", "tmpfs"}) {
    rows->Add("state file write (" + where + "), vs no folder sync",
              "BM_WriteFile/" + where + "/real_time",
              "BM_WriteNoFolderSync/" + where + "/real_time")
        .field = "real_time";
  }
}

void AddLoggingRows(Rows* rows) {
  Row& log = rows->Add("logging: LOG(INFO), default flags",
                       "BM_Log_DefaultFlags", "BM_Log_Floor");
  log.field = "items_per_second";
  log.unit = Unit::kPerSecond;
  log.max_ratio = 1.5;
  Row& both = rows->Add("logging: LOG(INFO), both prefixes",
                        "BM_Log_BothPrefixes", "BM_Log_Floor");
  both.field = "items_per_second";
  both.unit = Unit::kPerSecond;
}

void AddMdnsRows(Rows* rows) {
  rows->AddCounters("mDNS: AddService -> result",
                    "BM_MdnsRegistration/iterations:1", "plugin_median_ms",
                    "direct_median_ms", Unit::kMilliseconds)
      .max_ratio = 1.05;
  rows->AddCounters("mDNS: 10 AddService at once vs 1",
                    "BM_MdnsConcurrentRegistrations/iterations:1",
                    "ten_median_ms", "one_median_ms", Unit::kMilliseconds)
      .max_ratio = 1.5;
  // Against a registration made directly the moment the daemon serves
  // requests again: the daemon's own start and probing.
  const char kRestart[] = "BM_MdnsRestart/iterations:1";
  rows->AddCounters("mDNS: daemon restart -> all browsable, median", kRestart,
                    "back_median_ms", "floor_median_ms", Unit::kMilliseconds);
  rows->AddCounters("mDNS: daemon restart -> all browsable, max", kRestart,
                    "back_max_ms", "floor_max_ms", Unit::kMilliseconds)
      .max_value = 5000;
  // Against an idle plain task queue, and against a thread that only
  // sleeps through the same back-off (100 ms doubling to 2 s).
  const char kWakeups[] = "BM_MdnsResponderWakeups/iterations:1";
  rows->AddCounters("mDNS: responder wake-ups, 60 s, daemon healthy", kWakeups,
                    "healthy_wakeups", "idle_queue_wakeups", Unit::kCount)
      .max_value = 1;
  rows->AddCounters("mDNS: responder wake-ups, 60 s, daemon gone", kWakeups,
                    "gone_wakeups", "backoff_floor_wakeups", Unit::kCount);
}

void AddConfigRows(Rows* rows) {
  for (const std::string which : {"bundled", "64KiB"}) {
    rows->Add("config: Parse, " + which, "BM_Config_Accessor/" + which,
              "BM_Config_StrictParse/" + which);
  }
}

}  // namespace

const std::vector<Row>& AllRows() {
  static const std::vector<Row>* const rows = [] {
    Rows all;
    AddBridgeRows(&all);
    AddAudioBufferRows(&all);
    AddTaskQueueRows(&all);
    AddStateFileRows(&all);
    AddLoggingRows(&all);
    AddMdnsRows(&all);
    AddConfigRows(&all);
    return all.Release();
  }();
  return *rows;
}

}  // namespace bench
