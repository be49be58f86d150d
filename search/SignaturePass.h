#pragma once
// The signature pass of an analysis. The engine runs its sector pass through a hook
// (CVolume::SetSectorPass) because it does not know the search; this puts the
// search there: each pass runs a CSearchManager over the volume with the searched
// file types and hands every hit to CVolume::OnSignatureHit, which turns boot
// sectors into partition volumes and file hits into carved objects. A pass started
// to search the free clusters only (CVolume::StartAnalyseSectors) reads only what
// the volume's free-cluster map gives; every pass puts the volume's free-cluster
// count into ScanProgress::freeClusters.

class FileTypeDatabase;

// Installs the pass. The types are `types`, or when null the program's database
// (g_FileTypes) at the start of each pass. CVolume::SetSectorPass(nullptr) takes it
// out again.
void InstallSignaturePass(const FileTypeDatabase* types = nullptr);
