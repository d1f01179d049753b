// Protected rights for folders the installer makes; see folder_rights.h.
#include "folder_rights.h"

#include <initializer_list>

#include "scoped_handles.h"

namespace {

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
    bool complete;
};

template <class Function>
bool Take(HMODULE module, const char* name, Function* function) {
    // GetProcAddress knows no signature; void(*)() is the neutral step between.
    *function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    return *function != nullptr;
}

const SecurityCalls& Security() {
    static SecurityCalls calls = {};
    static bool looked = false;
    if (looked) return calls;
    looked = true;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    HMODULE advapi = GetModuleHandleA("ADVAPI32.DLL");
    if (!advapi || !GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT) return calls;
    Take(advapi, "SetSecurityDescriptorControl", &calls.setControl);
    calls.complete = Take(advapi, "AllocateAndInitializeSid", &calls.allocateSid) &&
                     Take(advapi, "FreeSid", &calls.freeSid) && Take(advapi, "EqualSid", &calls.equalSid) &&
                     Take(advapi, "InitializeAcl", &calls.initializeAcl) &&
                     Take(advapi, "AddAccessAllowedAce", &calls.addAllowed) &&
                     Take(advapi, "GetAce", &calls.getAce) &&
                     Take(advapi, "InitializeSecurityDescriptor", &calls.initializeDescriptor) &&
                     Take(advapi, "SetSecurityDescriptorDacl", &calls.setDacl) &&
                     Take(advapi, "GetTokenInformation", &calls.tokenInformation);
    return calls;
}

SID_IDENTIFIER_AUTHORITY kNtAuthority = {SECURITY_NT_AUTHORITY};
SID_IDENTIFIER_AUTHORITY kWorldAuthority = {SECURITY_WORLD_SID_AUTHORITY};

PSID AdministratorsSid(const SecurityCalls& calls) {
    PSID sid = nullptr;
    calls.allocateSid(&kNtAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                      &sid);
    return sid;
}

// An ACE that allows `sid` `rights` on the folder and on everything that is
// made inside it.
bool AllowInherited(const SecurityCalls& calls, PACL acl, DWORD rights, PSID sid) {
    if (!calls.addAllowed(acl, ACL_REVISION, rights, sid)) return false;
    void* ace = nullptr;
    if (!calls.getAce(acl, acl->AceCount - 1, &ace)) return false;
    static_cast<ACE_HEADER*>(ace)->AceFlags |= OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    return true;
}

}  // namespace

ProtectedFolderRights::ProtectedFolderRights(bool othersMayRead) {
    const SecurityCalls& calls = Security();
    if (!calls.complete) return;
    administrators_ = AdministratorsSid(calls);
    calls.allocateSid(&kNtAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system_);
    calls.allocateSid(&kWorldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone_);
    PACL acl = reinterpret_cast<PACL>(acl_);
    if (!administrators_ || !system_ || !everyone_ || !calls.initializeAcl(acl, sizeof acl_, ACL_REVISION) ||
        !AllowInherited(calls, acl, FILE_ALL_ACCESS, administrators_) ||
        !AllowInherited(calls, acl, FILE_ALL_ACCESS, system_) ||
        (othersMayRead && !AllowInherited(calls, acl, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, everyone_)) ||
        !calls.initializeDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !calls.setDacl(&descriptor_, TRUE, acl, FALSE))
        return;
    // From Windows 2000 on, a folder would otherwise also take the rights
    // that the folder above passes on; NT 4.0 never adds them.
    if (calls.setControl) calls.setControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    built_ = true;
}

ProtectedFolderRights::~ProtectedFolderRights() {
    const SecurityCalls& calls = Security();
    for (PSID sid : {administrators_, system_, everyone_})
        if (sid) calls.freeSid(sid);
}

bool RunsAsAdministrator() {
    const SecurityCalls& calls = Security();
    HANDLE opened = nullptr;
    if (!calls.complete || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return false;
    const KernelHandle token(opened);
    DWORD groups[1024];  // TOKEN_GROUPS, DWORD-aligned
    DWORD size = 0;
    if (!calls.tokenInformation(token.Get(), TokenGroups, groups, sizeof groups, &size)) return false;
    PSID administrators = AdministratorsSid(calls);
    if (!administrators) return false;
    const TOKEN_GROUPS* list = reinterpret_cast<const TOKEN_GROUPS*>(groups);
    bool found = false;
    // A group for denying only (a filtered administrator's token) is not in effect.
    for (DWORD i = 0; i < list->GroupCount && !found; ++i)
        found = (list->Groups[i].Attributes & SE_GROUP_ENABLED) &&
                !(list->Groups[i].Attributes & SE_GROUP_USE_FOR_DENY_ONLY) &&
                calls.equalSid(list->Groups[i].Sid, administrators);
    calls.freeSid(administrators);
    return found;
}

bool VolumeKeepsRights(const char* path) {
    const char letter = path[0];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) || path[1] != ':') return false;
    const char root[] = {letter, ':', '\\', '\0'};
    DWORD flags = 0;
    return GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
           (flags & FILE_PERSISTENT_ACLS);
}
