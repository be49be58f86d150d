#pragma once
// The computer fixture with the program's file-type database made of the built-in
// types and the signature search installed as the sector pass of every analysis
// (off until a test switches it on with SetSignaturePass(1)).

#include <memory>

#include "engine/records/FileTypeLookup.h"
#include "engine/volume/AnalysisTestSupport.h"
#include "search/BuiltinFileTypes.h"
#include "search/FileTypeDatabase.h"
#include "search/SignaturePass.h"

namespace test {

class BuiltinTypesComputerFixture : public ComputerFixture {
 protected:
  void SetUp() override {
    ComputerFixture::SetUp();
    types = std::make_shared<FileTypeDatabase>();
    types->CreateDefaultGroups();
    for (auto& t : MakeBuiltinFileTypes()) types->AppendFileType(std::move(t));
    types->InstallAsProgramDatabase();
    computer->SetFileTypeDatabase(types);
    InstallSignaturePass();
    settings.SetSearchThreads(2);
    settings.SetSignaturePass(0);
  }
  void TearDown() override {
    ComputerFixture::TearDown();  // joins the analysis before the types go
    SetFileTypeLookup(nullptr);
    g_FileTypes = nullptr;
    types.reset();
  }

  std::shared_ptr<FileTypeDatabase> types;
};

}  // namespace test
