// Protected rights for folders the installer makes; see folder_rights.h.
#include "folder_rights.h"

#include <initializer_list>

#include "handles.h"
#include "system_library.h"
#include "util.h"

namespace {

template <class Function>
bool Take(HMODULE module, const char* name, Function* function) {
    *function = FunctionOf<Function>(module, name);
    return *function != nullptr;
}

// Fills `calls`; false on the Windows 95 family, or when one is missing.
// Not kept: a program file carries every static variable in full.
bool TakeSecurityCalls(SecurityCalls* calls) {
    HMODULE advapi = GetModuleHandleA("ADVAPI32.DLL");
    if (!advapi || WindowsPlatform() != VER_PLATFORM_WIN32_NT) return false;
    Take(advapi, "SetSecurityDescriptorControl", &calls->setControl);
    return Take(advapi, "AllocateAndInitializeSid", &calls->allocateSid) &&
           Take(advapi, "FreeSid", &calls->freeSid) && Take(advapi, "EqualSid", &calls->equalSid) &&
           Take(advapi, "InitializeAcl", &calls->initializeAcl) &&
           Take(advapi, "AddAccessAllowedAce", &calls->addAllowed) && Take(advapi, "GetAce", &calls->getAce) &&
           Take(advapi, "InitializeSecurityDescriptor", &calls->initializeDescriptor) &&
           Take(advapi, "SetSecurityDescriptorDacl", &calls->setDacl) &&
           Take(advapi, "GetTokenInformation", &calls->tokenInformation);
}

// A SID of `count` (1 or 2) parts under the NT or the world authority.
PSID NewSid(const SecurityCalls& calls, bool world, BYTE count, DWORD first, DWORD second = 0) {
    SID_IDENTIFIER_AUTHORITY authority = {{0, 0, 0, 0, 0, static_cast<BYTE>(world ? 1 : 5)}};
    PSID sid = nullptr;
    calls.allocateSid(&authority, count, first, second, 0, 0, 0, 0, 0, 0, &sid);
    return sid;
}

PSID AdministratorsSid(const SecurityCalls& calls) {
    return NewSid(calls, false, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
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
    if (!TakeSecurityCalls(&calls_)) return;
    const SecurityCalls& calls = calls_;
    administrators_ = AdministratorsSid(calls);
    system_ = NewSid(calls, false, 1, SECURITY_LOCAL_SYSTEM_RID);
    everyone_ = NewSid(calls, true, 1, SECURITY_WORLD_RID);
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
    for (PSID sid : {administrators_, system_, everyone_})
        if (sid) calls_.freeSid(sid);
}

bool RunsAsAdministrator() {
    SecurityCalls calls = {};
    HANDLE opened = nullptr;
    if (!TakeSecurityCalls(&calls) || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return false;
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
    if (!StartsWithDrive(path)) return false;
    const char root[] = {path[0], ':', '\\', '\0'};
    DWORD flags = 0;
    return GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
           (flags & FILE_PERSISTENT_ACLS);
}
