<?php
// Account statistics for the dialer: GET /kelda_tools_info.php?a=<token>.
// The token is Base64 of "login:password" (password permuted, the text cut at 49 bytes),
// itself permuted. The answer is the dialer's key-value text: "balance=..." and, when
// non-zero, "credit=...". Unknown subscriber: 403; malformed token: 400.
// Accounts: tab-separated lines "login, password, balance, credit" in the file named by
// the KELDA_ACCOUNTS parameter (kept outside the served root; UTF-8, '#' starts a comment).

const PASSWORD_SWAPS = [[2, 7], [0, 5], [6, 1], [3, 8], [4, 0], [7, 5], [1, 3], [8, 2], [5, 6], [0, 4], [2, 3], [6, 8]];
const TOKEN_SWAPS = [[3, 0], [7, 2], [5, 8], [1, 4], [6, 3], [0, 7], [8, 1], [2, 5], [4, 6], [3, 8], [1, 0], [7, 6]];
// The dialer formats "login:password" into a 50-character buffer: longer texts arrive cut.
const CUT_LENGTH = 49;

function swap_pairs(string $text, array $pairs): string
{
    $n = strlen($text);
    foreach ($pairs as [$i, $j]) {
        if ($i < $n && $j < $n) {
            [$text[$i], $text[$j]] = [$text[$j], $text[$i]];
        }
    }
    return $text;
}

function unswap_pairs(string $text, array $pairs): string
{
    return swap_pairs($text, array_reverse($pairs));
}

function fail(int $status, string $why): never
{
    http_response_code($status);
    header('Content-Type: text/plain');
    echo $why, "\n";
    exit;
}

// The raw query: $_GET would turn the token's '+' into a blank.
function raw_token(): ?string
{
    foreach (explode('&', $_SERVER['QUERY_STRING'] ?? '') as $part) {
        if (str_starts_with($part, 'a=')) {
            return rawurldecode(substr($part, 2));
        }
    }
    return null;
}

// The "login:password" text the token carries, with the password still permuted; null when malformed.
function decode_token(string $token): ?string
{
    $base64 = unswap_pairs($token, TOKEN_SWAPS);
    $text = base64_decode($base64, true);
    // Only the dialer's own encoding of a text it could send is accepted: no stray characters,
    // no breaks, canonical padding, at most the cut length.
    if ($text === false || base64_encode($text) !== $base64 || strlen($text) > CUT_LENGTH || !str_contains($text, ':')) {
        return null;
    }
    return $text;
}

// The dialer sends 8-bit text: characters up to U+00FF as single bytes.
function to_8bit(string $utf8): ?string
{
    $converted = @iconv('UTF-8', 'ISO-8859-1', $utf8);
    return $converted === false ? null : $converted;
}

function load_accounts(string $path): array
{
    $lines = @file($path, FILE_IGNORE_NEW_LINES);
    if ($lines === false) {
        fail(500, 'accounts unavailable');
    }
    $accounts = [];
    foreach ($lines as $line) {
        $line = rtrim($line, "\r");
        if (trim($line) === '' || str_starts_with(ltrim($line), '#')) {
            continue;
        }
        $fields = explode("\t", $line);
        if (count($fields) < 3) {
            continue;
        }
        $login = to_8bit($fields[0]);
        $password = to_8bit($fields[1]);
        $balance = trim($fields[2]);
        $credit = trim($fields[3] ?? '0');
        $silent = $balance === 'silent';
        if ($login === null || $password === null || !($silent || is_numeric($balance)) || !is_numeric($credit)) {
            continue;
        }
        $accounts[] = ['login' => $login, 'password' => $password, 'balance' => $balance, 'credit' => $credit];
    }
    return $accounts;
}

function find_account(array $accounts, string $text): ?array
{
    $found = [];
    if (strlen($text) < CUT_LENGTH) {
        [$login, $permuted] = explode(':', $text, 2);
        $password = unswap_pairs($permuted, PASSWORD_SWAPS);
        foreach ($accounts as $account) {
            if ($account['login'] === $login && $account['password'] === $password) {
                $found[] = $account;
            }
        }
    } else {
        // A cut text lost the password's tail, and the permutation needs the whole password to be
        // undone: compare with each account's text built and cut the way the dialer does it.
        foreach ($accounts as $account) {
            $full = $account['login'] . ':' . swap_pairs($account['password'], PASSWORD_SWAPS);
            if (substr($full, 0, CUT_LENGTH) === $text) {
                $found[] = $account;
            }
        }
    }
    return count($found) === 1 ? $found[0] : null;
}

$method = $_SERVER['REQUEST_METHOD'] ?? 'GET';
if ($method !== 'GET' && $method !== 'HEAD') {
    fail(405, 'GET only');
}
$token = raw_token();
$text = $token === null ? null : decode_token($token);
if ($text === null) {
    fail(400, 'malformed token');
}
$account = find_account(load_accounts($_SERVER['KELDA_ACCOUNTS'] ?? ''), $text);
if ($account === null) {
    fail(403, 'unknown subscriber');
}

// An account whose balance reads "silent" stands for a script that never answers.
if ($account['balance'] === 'silent') {
    sleep(600);
    exit;
}

header('Content-Type: text/plain');
echo 'balance=', $account['balance'], "\r\n";
if ((float)$account['credit'] != 0) {
    echo 'credit=', $account['credit'], "\r\n";
}
