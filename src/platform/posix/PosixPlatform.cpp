// Temporary skeleton: replaced by the real Linux backend.
#include "platform/posix/PosixPlatform.h"

namespace korvello {
struct PosixPlatform::Impl {
    PosixRoots roots;
};
PosixRoots PosixRoots::FromEnvironment() { return {}; }
PosixPlatform::PosixPlatform(PosixRoots roots) : impl_(std::make_unique<Impl>(Impl{std::move(roots)})) {}
PosixPlatform::~PosixPlatform() = default;
const PosixRoots& PosixPlatform::Roots() const { return impl_->roots; }
std::uint32_t PosixPlatform::GetLogicalDrives() { return 4; }
DriveType PosixPlatform::GetDriveType(const std::string&) { return DriveType::NoRootDir; }
bool PosixPlatform::DirectoryExists(const std::string&) { return false; }
unsigned PosixPlatform::SetErrorMode(unsigned) { return 0; }
bool PosixPlatform::GetVolumeInformation(const std::string&, std::string&) { return false; }
std::vector<DriveInfo> PosixPlatform::Drives() { return {}; }
std::string PosixPlatform::ToLinuxPath(const std::string&) { return {}; }
std::string PosixPlatform::ToProgramPath(const std::string&) { return {}; }
std::string PosixPlatform::DisplayPath(const std::string& p) { return p; }
std::optional<std::int64_t> PosixPlatform::FindFile(const std::string&) { return {}; }
std::unique_ptr<IFile> PosixPlatform::OpenRead(const std::string&, std::string&) { return {}; }
std::unique_ptr<IFile> PosixPlatform::CreateWrite(const std::string&, std::string&) { return {}; }
bool PosixPlatform::DeleteFile(const std::string&) { return false; }
bool PosixPlatform::CopyFile(const std::string&, const std::string&) { return false; }
std::optional<std::uint64_t> PosixPlatform::GetDiskFreeSpace(const std::string&) { return {}; }
std::string PosixPlatform::ProgramPath() { return {}; }
std::string PosixPlatform::AppFolder() { return {}; }
std::string PosixPlatform::GetPrivateProfileString(const std::string&, const std::string&, const std::string& def, const std::string&) { return def; }
bool PosixPlatform::WritePrivateProfileString(const std::string&, const std::string&, const std::string&, const std::string&) { return false; }
bool PosixPlatform::RegCreateKey(const std::string&) { return false; }
RegValue PosixPlatform::RegQueryValue(const std::string&, const std::string&) { return {}; }
bool PosixPlatform::RegSetDword(const std::string&, const std::string&, std::uint32_t) { return false; }
void PosixPlatform::ShellOpen(const std::string&) {}
int PosixPlatform::CompareText(const std::string& a, const std::string& b) { return a.compare(b); }
std::string PosixPlatform::CollationKey(const std::string& t) { return t; }
std::string PosixPlatform::LowerCase(const std::string& t) { return t; }
std::string PosixPlatform::UpperCase(const std::string& t) { return t; }
std::string PosixPlatform::DecimalSeparator() { return "."; }
std::string PosixPlatform::ShortDate(const std::tm&) { return {}; }
std::string PosixPlatform::LongTime(const std::tm&) { return {}; }
std::vector<WatchDescriptor> PosixPlatform::DeviceWatchDescriptors() { return {}; }
bool PosixPlatform::PollDeviceArrival() { return false; }
} // namespace korvello
