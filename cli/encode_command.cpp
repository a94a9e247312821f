#include "cli/encode_command.h"

#include "cmdline/field_options.h"
#include "cmdline/quote.h"
#include "cmdline/usage_error.h"
#include "rds/format.h"

namespace cli {
namespace {

enum class Format { kGroups, kHex, kBits };

constexpr const char* kEncodeHelp =
    "Usage: rdsq7-cli encode [options]\n"
    "Prints the four type 0A groups a send would clock into the encoder.\n"
    "  --format groups|hex|bits\n"
    "                        groups: one line per group, blocks as INFO/CHECK in hex\n"
    "                        (default); hex: one line per group, the four information\n"
    "                        words only; bits: the 416 cells as one line of 0 and 1\n"
    "  -h, --help            show this text\n";

}  // namespace

int EncodeCommand(cmdline::Arguments& args, std::ostream& out, std::ostream& err) {
  cmdline::FieldOptions fields;
  Format format = Format::kGroups;
  while (!args.AtEnd()) {
    const std::string option = args.NextOption();
    if (fields.Parse(option, args)) continue;
    if (option == "--format") {
      const std::string value = args.Value();
      if (value == "groups") {
        format = Format::kGroups;
      } else if (value == "hex") {
        format = Format::kHex;
      } else if (value == "bits") {
        format = Format::kBits;
      } else {
        throw cmdline::UsageError("option --format: expected groups, hex or bits, got " +
                                  cmdline::Quote(value));
      }
    } else if (option == "--help") {
      args.NoValue();
      out << kEncodeHelp << cmdline::FieldOptions::Help(args);
      return 0;
    } else {
      throw cmdline::UsageError("unknown option " + cmdline::Quote(option) + " for encode");
    }
  }

  if (const auto note = fields.ObsoleteNote()) err << *note << '\n';
  const rds::StationSettings settings = fields.ApplyTo(rds::StationSettings{});
  err << fields.WarningLines(settings);
  const rds::Encoding encoding = rds::Encode(settings);
  switch (format) {
    case Format::kGroups:
      out << rds::FormatGroups(encoding.image);
      break;
    case Format::kHex:
      out << rds::FormatHex(encoding.image);
      break;
    case Format::kBits:
      out << rds::FormatBits(encoding.image);
      break;
  }
  return 0;
}

}  // namespace cli
