// The keyword scan: signature, forming type and tool definition, block counts and the
// completeness of every mesh the forming type asks for.
#include "input/keyword_scan.h"

#include <string>
#include <string_view>

#include "core/run_stop.h"

namespace trevo {

namespace {

constexpr std::string_view kSignature = "KVO/TREVO";  // columns 3-11
constexpr int32_t kFormTypeUnset = 100;

[[noreturn]] void stop_with(std::string_view text, Reporter& reporter) {
  reporter.message(text);
  stop_run();
}

// Some record carries the signature in columns 3 to 11 (after "$$" or "$ ").
void check_signature(const KeywordFile& file, Reporter& reporter) {
  for (std::size_t i = 0; i < file.size(); ++i) {
    if (file[i].columns(3, 11) == kSignature) return;
  }
  stop_with("ERROR 1:  Error in Keyword of input data, or error in file name", reporter);
}

// The value of the first FORMTYPE line; 100 without one (a null value keeps it too), which
// the range check then rejects.
int32_t read_forming_type(const KeywordFile& file, Reporter& reporter) {
  const Keyword formtype("FORMTYPE");
  int32_t forming_type = kFormTypeUnset;
  for (std::size_t i = 0; i < file.size(); ++i) {
    Record record = file[i];
    if (!record.is(formtype)) continue;
    ReadErrorReport error{reporter, kInputDataError};
    RecordValues values(record, kValueColumn, error);
    // End of record before a value is a read error here; a null value keeps 100.
    if (values.read(forming_type) == fortran::ListStatus::end) values.fail();
    break;
  }
  return forming_type;
}

// FORMTYPE = 10 pad + 2 binder + blank-holder, so 4 to 9 name no tool set; the console
// and the report differ for values outside 0..13.
void check_forming_type(int32_t forming_type, Reporter& reporter) {
  if (forming_type < 0 || forming_type > 13) {
    reporter.console(" Error in FORMING TYPE........");
    reporter.report(" Error in FORMING TYPE.........");
    stop_run();
  }
  if (forming_type >= 4 && forming_type <= 9) stop_with("Error in FORMING TYPE........", reporter);
}

// The tool definition, three tab-led lines on the console, then in the report.
void print_tool_definition(int32_t forming_type, Reporter& reporter) {
  const bool binder = forming_type % 10 >= 2;
  const bool blank_holder = forming_type % 2 == 1;
  const bool pad = forming_type >= 10;
  const std::string lines[3] = {
      std::string("\tBinder Surface: ") + (binder ? "defined" : "undefined"),
      std::string("\tBlank-holder  : ") + (blank_holder ? "defined" : "undefined"),
      forming_type == 0 ? std::string("\tHolder        : undefined")
                        : std::string("\tPad           : ") + (pad ? "defined" : "undefined")};
  reporter.blank();
  reporter.message("Tool Definition");
  for (const std::string& line : lines) reporter.console(line);
  for (const std::string& line : lines) reporter.report(line);
  reporter.blank();
}

// One count per keyword line; tool lines only when their flag is 1.
void count_blocks(const KeywordFile& file, RunSettings& s) {
  struct Counter {
    Keyword keyword;
    int32_t* count;
    bool counted;
  };
  const Counter counters[] = {
      {Keyword("SHETQUAD"), &s.part_elements, true},
      {Keyword("SHETNODE"), &s.part_nodes, true},
      {Keyword("DRAWBEAD"), &s.drawbead_count, true},
      {Keyword("CONTRATX"), &s.contratx_count, true},
      {Keyword("CONTRATY"), &s.contraty_count, true},
      {Keyword("BINDQUAD"), &s.blank_holder_elements, s.blank_holder_flag == 1},
      {Keyword("BINDNODE"), &s.blank_holder_nodes, s.blank_holder_flag == 1},
      {Keyword("FLANQUAD"), &s.binder_elements, s.binder_flag == 1},
      {Keyword("FLANNODE"), &s.binder_nodes, s.binder_flag == 1},
      {Keyword("HOLDQUAD"), &s.pad_elements, s.pad_flag == 1},
      {Keyword("HOLDNODE"), &s.pad_nodes, s.pad_flag == 1},
      {Keyword("MATERIAL"), &s.material_count, true},
  };
  for (const Counter& c : counters) *c.count = 0;
  for (std::size_t i = 0; i < file.size(); ++i) {
    Record record = file[i];
    for (const Counter& c : counters) {
      if (c.counted && record.is(c.keyword)) {
        ++*c.count;
        break;
      }
    }
  }
}

// Every mesh the job needs has at least one element and three nodes; checked part first,
// then blank-holder, binder and pad.
void check_completeness(const RunSettings& s, Reporter& reporter) {
  if (s.part_elements < 1 || s.part_nodes < 3) stop_with("ERROR 1: Blank mesh does not exist or incomplete", reporter);
  if (s.blank_holder_flag == 1 && (s.blank_holder_elements < 1 || s.blank_holder_nodes < 3)) {
    reporter.console(" ERROR 2: Blank Holder mesh does not exist or incomplete");
    reporter.report(" ERROR 2  Blank Holder mesh does not exist or incomplete");
    stop_run();
  }
  if (s.binder_flag == 1 && (s.binder_elements < 1 || s.binder_nodes < 3)) {
    stop_with("ERROR 3: Binder mesh does not exist or incomplete", reporter);
  }
  if (s.pad_flag == 1 && (s.pad_elements < 1 || s.pad_nodes < 3)) {
    stop_with("ERROR 4: Pad mesh does not exist or incomplete", reporter);
  }
}

}  // namespace

void scan_keyword_file(const KeywordFile& file, RunSettings& settings, Reporter& reporter) {
  check_signature(file, reporter);
  settings.forming_type = read_forming_type(file, reporter);
  check_forming_type(settings.forming_type, reporter);
  print_tool_definition(settings.forming_type, reporter);
  settings.blank_holder_flag = settings.forming_type % 2 == 1 ? 1 : 0;
  settings.binder_flag = settings.forming_type % 10 >= 2 ? 1 : 0;
  settings.pad_flag = settings.forming_type >= 10 ? 1 : 0;
  reporter.console(" Reading input data, please wait.......");
  count_blocks(file, settings);
  check_completeness(settings, reporter);
}

}  // namespace trevo
