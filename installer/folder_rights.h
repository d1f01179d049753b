// Rights for the folders the installer makes where others could change what
// an administrator later runs: administrators and the system may change
// them; everyone else may at most read and run. NT only; the security calls
// are taken at run time, as the Windows 95 family has none of them.
#pragma once

#include <windows.h>

// The NT security calls, from ADVAPI32 at run time: the loader of the first
// Windows 95 would refuse a program that imported them.
struct SecurityCalls {
    decltype(&AllocateAndInitializeSid) allocateSid;
    decltype(&FreeSid) freeSid;
    decltype(&EqualSid) equalSid;
    decltype(&InitializeAcl) initializeAcl;
    decltype(&AddAccessAllowedAce) addAllowed;
    decltype(&GetAce) getAce;
    decltype(&InitializeSecurityDescriptor) initializeDescriptor;
    decltype(&SetSecurityDescriptorDacl) setDacl;
    decltype(&GetTokenInformation) tokenInformation;
    decltype(&SetSecurityDescriptorControl) setControl;  // Windows 2000 and later only
};

// The security attributes of a protected folder, for CreateDirectoryA; built
// by the constructor, valid for the owner's life. Its rights pass on to what
// is made inside, and nothing is taken over from the folder above.
class ProtectedFolderRights {
public:
    // `othersMayRead`: everyone else may list, read and run what is inside.
    explicit ProtectedFolderRights(bool othersMayRead);
    ~ProtectedFolderRights();
    ProtectedFolderRights(const ProtectedFolderRights&) = delete;
    ProtectedFolderRights& operator=(const ProtectedFolderRights&) = delete;

    // Null when the rights could not be built (Windows 95, a call missing).
    SECURITY_ATTRIBUTES* Attributes() { return built_ ? &attributes_ : nullptr; }

private:
    SecurityCalls calls_ = {};
    PSID administrators_ = nullptr;
    PSID system_ = nullptr;
    PSID everyone_ = nullptr;
    DWORD acl_[64] = {};  // room for three ACEs; DWORD-aligned as an ACL must be
    SECURITY_DESCRIPTOR descriptor_ = {};
    SECURITY_ATTRIBUTES attributes_ = {};
    bool built_ = false;
};

// Whether this process runs with the Administrators group in effect (on NT;
// never on the Windows 95 family).
bool RunsAsAdministrator();

// Whether the drive of the full path `path` ("C:\\...") keeps rights on its
// files and folders (NTFS does, FAT does not); false for a network path.
bool VolumeKeepsRights(const char* path);
