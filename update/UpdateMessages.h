#pragma once

// The texts the start-up update check leaves in AppConfig.errorText.
namespace update_messages {
constexpr const wchar_t kNoConnection[] = L"Нет связи с сервером. Попробуйте запустить программу позже.";
constexpr const wchar_t kOutdated[] = L"Версия устарела.\nТребуется обновить программу.";
constexpr const wchar_t kBrokenArchive[] = L"Ошибка обновления программы.\nБитый архив.\nОбновите программу вручную.";
constexpr const wchar_t kNoFirstEntry[] =
    L"Ошибка обновления программы.\nНе могу перейти к первому файлу в архиве.\nОбновите программу вручную.";
constexpr const wchar_t kEntryNotOpened[] =
    L"Ошибка обновления программы.\nОткрытие файла в архиве провалено.\nОбновите программу вручную.";
constexpr const wchar_t kFileNotCreated[] =
    L"Ошибка обновления программы.\nСоздание файла провалено.\nОбновите программу вручную.";
constexpr const wchar_t kWriteFailed[] =
    L"Ошибка обновления программы.\nОшибка при записи файла.\nОбновите программу вручную.";
constexpr const wchar_t kEntryUnreadable[] =
    L"Ошибка обновления программы.\nОшибка при распаковке файла.\nОбновите программу вручную.";
}  // namespace update_messages
