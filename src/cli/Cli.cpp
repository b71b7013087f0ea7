#include "cli/Cli.h"

#include "core/ErrorLog.h"

#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <system_error>

namespace fs = std::filesystem;

namespace korvello::cli {

namespace {

// "e:", "E:" or "e" as a drive; empty when it is none of these.
std::string NormaliseDrive(const std::string& text) {
    if (text.empty() || text.size() > 2 || (text.size() == 2 && text[1] != ':'))
        return {};
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    if (letter < 'a' || letter > 'z')
        return {};
    return std::string(1, letter) + ":";
}

} // namespace

Options ParseOptions(const std::vector<std::string>& args, unsigned accepted) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0 || arg == "--") {
            if (arg.size() > 1 && arg[0] == '-')
                throw UsageError("unknown option " + arg);
            options.arguments.push_back(arg);
            continue;
        }
        const auto equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        std::string value;
        const bool takesValue = (name == "--drive" && (accepted & kDriveOption)) ||
                                (name == "--folder" && (accepted & kFolderOption));
        if (!takesValue)
            throw UsageError("unknown option " + name);
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            throw UsageError(name + " needs a value");
        }
        if (name == "--drive") {
            options.drive = NormaliseDrive(value);
            if (options.drive->empty())
                throw UsageError("--drive takes a drive letter such as e:, not '" + value + "'");
        } else {
            if (value.empty())
                throw UsageError("--folder needs a folder");
            options.folder = value;
        }
    }
    if (options.drive && options.folder)
        throw UsageError("--drive and --folder cannot be used together");
    return options;
}

std::string EscapeField(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

void WriteRow(std::ostream& out, const std::vector<std::string>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            out << '\t';
        out << EscapeField(values[i]);
    }
    out << '\n';
}

Session::Session(const Options& options) : options_(options) {
    PosixRoots roots = PosixRoots::FromEnvironment();
    if (options_.folder) {
        std::error_code ec;
        const fs::path folder = fs::absolute(*options_.folder, ec);
        if (ec || !fs::is_directory(folder, ec))
            throw RunError("no such folder: " + *options_.folder);
        // Mapped in memory for this run only: nothing is written to disk that a killed run
        // could leave behind, and the user's own drives folder is neither read nor touched.
        roots.mappedFolders = {{kFolderLetter, folder.string()}};
    }
    platform_ = std::make_unique<PosixPlatform>(std::move(roots));
}

Session::~Session() = default;

std::string Session::ChooseIpod() {
    if (options_.drive)
        return *options_.drive;
    if (options_.folder)
        return std::string(1, kFolderLetter) + ":";
    std::string drive = FindFirstIpod(*platform_);
    if (drive.empty())
        throw RunError("no iPod found (no removable drive holds iPod_Control\\iTunes; see "
                       "'korvello-cli drives')");
    return drive;
}

std::string Session::UserRoot(const std::string& drive) {
    if (options_.folder)
        return *options_.folder;
    for (const DriveInfo& info : platform_->Drives())
        if (drive.size() == 2 && info.letter == drive[0] && !info.linuxRoot.empty())
            return info.linuxRoot;
    return drive;
}

void LoadIpodDatabase(Session& session, const std::string& drive, TiPod& ipod) {
    ipod.SetDrivePath(drive);
    try {
        ipod.LoadDatabase();
    } catch (const EKorvelloError& e) {
        throw RunError(e.what());
    }
    const TDatabaseStatus& status = ipod.DatabaseStatus();
    if (!status.Readable())
        throw RunError("no readable music database in " + session.UserRoot(drive) + " (" +
                       status.problem + ")");
}

std::string FindFirstIpod(IPlatform& platform) {
    const std::uint32_t mask = platform.GetLogicalDrives();
    for (int i = 2; i < 26; ++i) {
        if (!(mask & (1u << i)))
            continue;
        const std::string drive = std::string(1, static_cast<char>('a' + i)) + ":";
        if (platform.GetDriveType(drive + "\\") != DriveType::Removable)
            continue;
        if (!platform.DirectoryExists(drive + "\\iPod_Control\\iTunes\\"))
            continue;
        return drive;
    }
    return {};
}

} // namespace korvello::cli
