#pragma once
#include <string>

// After a failed installation: unless the ini's SendErrorLogTo is empty, asks at every
// user-interface level whether to mail the setup log to that address, hands the message to the
// mail client and raises the client's compose window. Whatever happens here, including a fault
// inside the mail client, the installation's own result stays as it was.
void SendErrorLog(const std::wstring& logPath, const std::wstring& productName,
                  const std::wstring& productVersion);

// Hands the mail client (Simple MAPI's MAPISendMail, with its dialog) a message to the address
// with the log attached. True when MAPISendMail answered 0.
bool SendLogFile(const std::wstring& logPath, const std::wstring& address, const std::wstring& productName,
                 const std::wstring& productVersion);
