#include "tools/tailpack/report.h"

#include <string>

#include "package/record.h"
#include "package/settings_map.h"
#include "run/folder_model.h"
#include "run/launch_plan.h"
#include "tools/tailpack/core.h"
#include "tools/tailpack/files.h"
#include "tools/tailpack/text.h"

namespace tailpack {

namespace {

// Each entry's effect as the run's own settings and folder model take it: a setting goes in only
// when its key is absent, and a file replaces the folder's file of the same name.
void mark_effects(std::vector<listed_entry>& entries) {
  settings_map owners;  // key -> the number of the entry that set it
  folder_model folder(std::string{});
  std::vector<std::size_t> writers;  // for each place in the folder: the number of its last writer
  for (std::size_t i = 0; i < entries.size(); ++i) {
    listed_entry& entry = entries[i];
    const std::size_t number = i + 1;
    if (entry.sets_a_key) {
      entry.reserved_key = is_run_setting(entry.key);
      if (!owners.insert_if_absent(entry.key, std::to_string(number)))
        entry.shadowed_by = std::stoul(*owners.find(entry.key));
    }
    if (entry.kind != entry_kind::file) continue;
    const std::size_t place = folder.committed(entry.value, entry.data_size, std::string());
    if (place == writers.size()) {
      writers.push_back(number);
    } else {
      entries[writers[place] - 1].replaced_by = number;
      writers[place] = number;
    }
  }
}

// From the end of the stub entry's file-name record (where the walk stopped): its name, and the
// length field of the image record before it.
stub_details read_stub_details(byte_source& file, std::uint64_t name_end) {
  stub_details details;
  if (!file.seek_to(name_end)) return details;
  if (read_record(file, details.name) != record_status::ok) return details;
  details.name_read = true;
  const std::uint64_t image_end = file.position();
  record_trailer trailer;
  if (!read_trailer(file, trailer)) return details;
  details.image_size = trailer.length;
  details.image_size_known = details.image_size + record_overhead == image_end;
  return details;
}

std::string byte_count(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string setting_effect(const listed_entry& entry) {
  if (!entry.sets_a_key) return "no setting (empty key)";
  if (entry.shadowed_by != 0)
    return "setting shadowed by #" + std::to_string(entry.shadowed_by) + ", met earlier with the same key";
  if (entry.reserved_key) return "no effect: the stub sets this key itself before it reads the package";
  return "setting takes effect";
}

std::string describe_effect(const listed_entry& entry) {
  if (entry.kind != entry_kind::file) return setting_effect(entry);
  const std::string file = entry.replaced_by == 0 ? "file stays on disk"
                                                  : "file replaced by #" + std::to_string(entry.replaced_by) +
                                                        ", which the stub writes later under the same name";
  return setting_effect(entry) + "; " + file;
}

void print_entry(std::size_t number, const listed_entry& entry, const stub_details& stub, const text_view& view,
                 std::ostream& out) {
  out << "  #" << number << ' ';
  switch (entry.kind) {
    case entry_kind::value:
      out << "value " << view.quote(entry.key) << " = " << view.quote(entry.value) << ": " << describe_effect(entry);
      break;
    case entry_kind::file:
      out << "file " << view.quote(entry.key) << " -> " << view.quote(entry.value) << " (" << byte_count(entry.data_size)
          << "): " << describe_effect(entry);
      break;
    case entry_kind::stub:
      out << "stub " << view.quote(entry.key) << ": the walk ends here";
      if (stub.name_read) out << "; stub file name " << view.quote(stub.name);
      if (stub.image_size_known) out << ", image of " << byte_count(stub.image_size);
      out << " (the stub reads neither)";
      break;
    case entry_kind::other:
      out << "other kind " << view.quote(entry.kind_text);
      if (entry.kind_size > entry.kind_text.size())
        out << " (the first " << entry.kind_text.size() << " of " << byte_count(entry.kind_size) << ")";
      out << ", key " << view.quote(entry.key) << ": passed over";
      break;
    case entry_kind::tail_marker:
      out << "tail marker again: keeps the verdict true, the walk goes on";
      break;
  }
  out << '\n';
}

void print_chain_position(const package_report& report, std::ostream& out) {
  if (!report.chain_found) {
    out << "chain: no tail marker\n";
    return;
  }
  out << "chain: tail marker text at offset " << report.chain_end - tail_marker_record_size
      << "; its record ends at offset " << report.chain_end;
  if (report.search_end < report.size) {
    out << "; a certificate table of " << byte_count(report.size - report.search_end) << " at offset "
        << report.search_end << " ends the file";
    if (report.search_end > report.chain_end) out << " (" << byte_count(report.search_end - report.chain_end) << " between)";
  } else if (report.chain_end == report.size) {
    out << ", the end of the file";
  } else {
    out << "; " << byte_count(report.size - report.chain_end) << " follow it";
  }
  out << '\n';
}

}  // namespace

package_report read_package_report(byte_source& file) {
  package_report report;
  const std::int64_t size = file.seek_end();
  if (size < 0) throw failure("cannot get the size of the file");
  report.size = static_cast<std::uint64_t>(size);
  report.result = walk_chain(file, [&report](chain_entry& met) {
    listed_entry entry;
    entry.sets_a_key = names_a_setting(met);
    entry.kind = met.kind;
    entry.kind_text = std::move(met.kind_text);
    entry.key = std::move(met.key);
    entry.value = std::move(met.value);
    entry.data_size = met.data_size;
    entry.kind_size = met.kind_size;
    entry.start = met.start;
    entry.end = met.end;
    report.entries.push_back(std::move(entry));
    return true;
  });
  report.search_end = report.result.search_end;
  report.chain_found = report.result.marker_offset >= 0;
  if (report.chain_found)
    report.chain_end = static_cast<std::uint64_t>(report.result.marker_offset) + tail_marker_record_size;
  mark_effects(report.entries);
  if (report.result.stop == walk_stop::stub) report.stub = read_stub_details(file, report.entries.back().start);
  return report;
}

std::string verdict_text(const walk_result& result) {
  const std::string reason = describe_verdict(result);
  if (result.accepted) return reason.empty() ? "accepted" : "accepted (" + reason + ")";
  return "not accepted: " + reason;
}

void print_listing(const std::string& path, const package_report& report, const text_view& view, std::ostream& out) {
  out << "package " << path << ": " << byte_count(report.size) << '\n';
  print_chain_position(report, out);
  if (report.chain_found) {
    out << "entries in the order the stub meets them, from the tail (among equal keys the first met takes "
           "effect):\n";
    if (report.entries.empty()) out << "  (none)\n";
    for (std::size_t i = 0; i < report.entries.size(); ++i)
      print_entry(i + 1, report.entries[i], report.stub, view, out);
  }
  out << "verdict: " << verdict_text(report.result) << '\n';
}

}  // namespace tailpack
