#pragma once
#include <QString>

// What went wrong with a port, in the operator's terms.
enum class PortFault { None, Absent, InUse, NoPermission, Other };

// The fault of a port error code (an errno value; 0 is no error).
PortFault portFaultOf(int code);

// The words an operator understands for a failed port: which port and
// device, what is wrong and what to do. `systemText` is used only for
// faults without words of their own.
QString portErrorWords(const QString& port, const QString& device, int code, const QString& systemText);
