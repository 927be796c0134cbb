// The native functions offered to update scripts: update_config (download addresses and the
// configuration text), update_src_folder, update_des_folder, update_cmy_name (values reported to
// the script) and copy_folder (a logged folder copy). One static instance of each is registered
// with the runtime during static initialisation, in that order, and lives until exit.
//
// They run on whatever thread the runtime runs scripts on and take no lock: scripts must have
// finished with the address lists before the update procedure reads them. Text crosses in the
// system ANSI code page. copy_folder does file I/O (see fileops/copy_folder.h).
//
// Arguments: argument i is args[i]. A type word with the reference bit set (other than kTqNone)
// means the payload points to the value to read, followed once. An integer argument that arrives
// as a number is truncated, one that arrives as text (the runtime's call by name passes texts) is
// read as a decimal. An argument the caller did not pass reads as 0 or the empty text, and a text
// argument that holds a number or a second reference reads as the empty text.
#pragma once

#include "runtime/tqbase.h"

// update_config(kind: integer, text: text) -> number 0. Kind 1 appends text to the main package's
// addresses, kind 2 replaces the configuration text, kind 3 appends to the company package's
// addresses when a company code is set; other kinds do nothing.
class update_config_script_func_cls : public uiCalcFunc {
  public:
    const char* GetArgName(int index) override;
    int GetArgCount(int* out) override;
    int GetArgType(int index) override;
    tqValue* Invoke(tqValue* result, tqValue* args, int count) override;
};

// update_src_folder() -> text: the extraction folder, empty until the update chooses it.
class update_src_folder_script_func_cls : public uiCalcFunc {
  public:
    const char* GetArgName(int index) override;
    int GetArgCount(int* out) override;
    int GetArgType(int index) override;
    tqValue* Invoke(tqValue* result, tqValue* args, int count) override;
};

// update_des_folder() -> text: the installation folder.
class update_des_folder_script_func_cls : public uiCalcFunc {
  public:
    const char* GetArgName(int index) override;
    int GetArgCount(int* out) override;
    int GetArgType(int index) override;
    tqValue* Invoke(tqValue* result, tqValue* args, int count) override;
};

// update_cmy_name() -> text: the company code.
class update_cmy_name_script_func_cls : public uiCalcFunc {
  public:
    const char* GetArgName(int index) override;
    int GetArgCount(int* out) override;
    int GetArgType(int index) override;
    tqValue* Invoke(tqValue* result, tqValue* args, int count) override;
};

// copy_folder(source: text, destination: text) -> integer 1 when every file was copied, else 0.
// Logs into the destination's Update2.log.
class copy_folder_script_func_cls : public uiCalcFunc {
  public:
    const char* GetArgName(int index) override;
    int GetArgCount(int* out) override;
    int GetArgType(int index) override;
    tqValue* Invoke(tqValue* result, tqValue* args, int count) override;
};
