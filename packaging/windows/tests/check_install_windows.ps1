<#
  The Windows package on a real Windows, with what Wine cannot show: real NTFS ACLs, a real
  LocalSystem, a real console session and a service descriptor that is enforced. Installs the
  package, checks it as LocalSystem, as an administrator and as a plain user, and uninstalls it.
  Run elevated on a throw-away machine (the CI runner): it registers the service and adds the local
  user "vornakel-ci".

    check_install_windows.ps1 -Package VornakelConnectHost-<version>.msi -Logs <folder>

  The package must carry the stand-in agent (the default of the MinGW build) as runtime\node.exe:
  it writes "agent[<pid>] ready" to host-service.log and runs until the service stops it.
#>
param(
  [Parameter(Mandatory)] [string] $Package,
  [Parameter(Mandatory)] [string] $Logs
)
$ErrorActionPreference = 'Stop'
Set-StrictMode -Version Latest

$service = 'VornakelConnectHost'
$version = [IO.Path]::GetFileNameWithoutExtension($Package) -replace '^VornakelConnectHost-', ''
$installRoot = Join-Path $env:ProgramFiles 'Vornakel Connect'
$versionDir = Join-Path $installRoot "versions\$version"
$exe = Join-Path $versionDir 'vornakel_windows_service.exe'
$private = Join-Path $env:ProgramData 'Vornakel Connect\private'
$hostLog = Join-Path $private 'host-service.log'
$agentState = Join-Path $private 'state\agent-state.json'
$serviceDescriptor = ((Get-Content (Join-Path $PSScriptRoot '..\security_descriptors.txt')) |
    Where-Object { $_ -match '^service ' }) -replace '^service ', ''
New-Item -ItemType Directory -Force $Logs | Out-Null
$script:failures = 0

function Check([string] $what, [bool] $ok, [string] $detail = '') {
  if ($ok) { Write-Host "PASS $what" } else { Write-Host "FAIL $what $detail"; $script:failures++ }
}

function Wait-Until([scriptblock] $condition, [int] $seconds) {
  $deadline = (Get-Date).AddSeconds($seconds)
  while ((Get-Date) -lt $deadline) {
    if (& $condition) { return $true }
    Start-Sleep -Milliseconds 250
  }
  return [bool](& $condition)
}

function Invoke-Msiexec([string] $operation, [string] $name) {
  $arguments = @($operation, "`"$Package`"", '/qn', '/l*v', "`"$(Join-Path $Logs "$name.log")`"")
  return (Start-Process msiexec.exe -ArgumentList $arguments -Wait -PassThru).ExitCode
}

function Read-Shared([string] $path) {
  # The service keeps host-service.log open for appending; read it without getting in its way.
  if (-not (Test-Path $path)) { return '' }
  $stream = [IO.File]::Open($path, 'Open', 'Read', 'ReadWrite, Delete')
  try { return [IO.StreamReader]::new($stream).ReadToEnd() } finally { $stream.Dispose() }
}

function Agent-Pids { [regex]::Matches((Read-Shared $hostLog), '(?m)^agent\[(\d+)\] ready\r?$') | ForEach-Object { [int]$_.Groups[1].Value } }

Write-Host "== install $version"
$status = Invoke-Msiexec '/i' 'install'
Check 'msiexec /i exits 0 (it waits for the service to run)' ($status -eq 0) "(status $status)"
if ($status -ne 0) { exit 1 }  # the log in $Logs says why
$cim = Get-CimInstance Win32_Service -Filter "Name='$service'"
Check 'service RUNNING, automatic, LocalSystem' ($cim -and $cim.State -eq 'Running' -and $cim.StartMode -eq 'Auto' -and $cim.StartName -eq 'LocalSystem') ($cim | Format-List State, StartMode, StartName | Out-String)
Check 'binary path is the version directory''s program, quoted' ($cim -and $cim.PathName -eq "`"$exe`"") "($($cim.PathName))"
$shown = ((sc.exe sdshow $service) | Where-Object { $_ }) -join ''
Check 'sc sdshow gives the package''s service descriptor' (($shown -split 'S:')[0] -eq $serviceDescriptor) "($shown)"
$failure = (sc.exe qfailure $service) -join "`n"
Check 'restarted by the service manager after a failure: 5 s, 30 s, then 60 s; reset after a day' ($failure -match 'RESET_PERIOD \(in seconds\)\s*: 86400' -and ((([regex]::Matches($failure, 'RESTART -- Delay = (\d+) milliseconds') | ForEach-Object { $_.Groups[1].Value }) -join ',') -eq '5000,30000,60000')) "($failure)"
$flag = (sc.exe qfailureflag $service) -join "`n"
Check 'also after a stop with an error exit code' ($flag -match 'FAILURE_ACTIONS_ON_NONCRASH_FAILURES: TRUE') "($flag)"
Get-ChildItem -Recurse -Force $installRoot, (Split-Path $private) | ForEach-Object {
  "$($_.FullName)  $((Get-Acl $_.FullName).Sddl)" } | Set-Content (Join-Path $Logs 'installed-acls.txt')

Write-Host '== as LocalSystem (a scheduled task)'
$probe = Join-Path $Logs 'as-system'
New-Item -ItemType Directory -Force $probe | Out-Null
@"
@echo off
"$exe" --validate-install 2> "$probe\validate.err"
> "$probe\validate.rc" echo %ERRORLEVEL%
"$exe" --is-system 2> "$probe\system.err"
> "$probe\system.rc" echo %ERRORLEVEL%
"@ | Set-Content -Encoding ascii (Join-Path $probe 'probe.cmd')
$task = 'VornakelValidateInstall'
Register-ScheduledTask -TaskName $task -Force `
  -Action (New-ScheduledTaskAction -Execute 'cmd.exe' -Argument "/c `"$probe\probe.cmd`"") `
  -Principal (New-ScheduledTaskPrincipal -UserId 'SYSTEM' -LogonType ServiceAccount -RunLevel Highest) | Out-Null
Start-ScheduledTask -TaskName $task
$finished = Wait-Until { Test-Path "$probe\system.rc" } 60
Unregister-ScheduledTask -TaskName $task -Confirm:$false
$rc = if ($finished) { (Get-Content "$probe\validate.rc").Trim() } else { 'none' }
Check '--validate-install passes on real NTFS ACLs as LocalSystem' ($rc -eq '0' -and (Get-Item "$probe\validate.err").Length -eq 0) "(status ${rc}: $(Get-Content -Raw "$probe\validate.err" -ErrorAction SilentlyContinue))"
$rc = if ($finished) { (Get-Content "$probe\system.rc").Trim() } else { 'none' }
Check '--is-system answers 0 as LocalSystem' ($rc -eq '0') "(status $rc)"

Write-Host '== the agent'
# The supervisor starts no agent while there is no console session: say which sessions there are.
try { Write-Host (query.exe session 2>&1 | Out-String) } catch { Write-Host 'no query.exe' }
$ready = Wait-Until { @(Agent-Pids).Count -ge 1 } 60
Check 'the service started the stand-in agent' $ready (Read-Shared $hostLog)
if ($ready) {
  $agent = @(Agent-Pids)[0]
  Start-Sleep -Seconds 10
  $process = Get-Process -Id $agent -ErrorAction SilentlyContinue
  Check 'the same agent still runs 10 s later, the installed runtime\node.exe' ($process -and $process.Path -eq (Join-Path $versionDir 'runtime\node.exe') -and @(Agent-Pids).Count -eq 1) (Read-Shared $hostLog)
}

Write-Host '== custom controls: an administrator, then a plain user'
sc.exe control $service 129 | Out-Null
Check 'an administrator''s control 129 disables the agent' (Wait-Until { (Read-Shared $agentState) -match '"enabled":false' } 5) (Read-Shared $agentState)
$user = 'vornakel-ci'
$password = ConvertTo-SecureString ("Vk1!" + [guid]::NewGuid().ToString('N')) -AsPlainText -Force
New-LocalUser -Name $user -Password $password -AccountNeverExpires | Out-Null
Add-LocalGroupMember -Group 'Users' -Member $user
$credential = [pscredential]::new("$env:COMPUTERNAME\$user", $password)
function Invoke-AsUser([string] $arguments, [string] $name) {
  $out = Join-Path $Logs "user-$name.txt"
  $process = Start-Process sc.exe -ArgumentList $arguments -Credential $credential -Wait -PassThru `
    -WorkingDirectory $env:SystemRoot -RedirectStandardOutput $out
  return [pscustomobject]@{ Status = $process.ExitCode; Output = (Get-Content -Raw $out) }
}
try {
  foreach ($refused in @("control $service 130", "control $service 128", "stop $service",
                         "config $service start= disabled")) {
    $answer = Invoke-AsUser $refused ($refused -replace '\W', '-')
    Check "a plain user's 'sc $refused' is refused" ($answer.Output -match 'FAILED 5\b') "($($answer.Status): $($answer.Output))"
  }
  Start-Sleep -Seconds 1
  Check 'the agent stays disabled' ((Read-Shared $agentState) -match '"enabled":false') (Read-Shared $agentState)
  $answer = Invoke-AsUser "query $service" 'query'
  Check 'a plain user may still query the status' ($answer.Status -eq 0 -and $answer.Output -match 'RUNNING') "($($answer.Output))"
} finally {
  Remove-LocalUser -Name $user
}
sc.exe control $service 130 | Out-Null
Check 'an administrator''s control 130 enables it again' (Wait-Until { (Read-Shared $agentState) -match '"enabled":true' } 5) (Read-Shared $agentState)

Write-Host '== uninstall'
$status = Invoke-Msiexec '/x' 'uninstall'
Check 'msiexec /x exits 0 (it stops the service first)' ($status -eq 0) "(status $status)"
Check 'service removed' (-not (Get-Service -Name $service -ErrorAction SilentlyContinue))
if ($ready) { Check 'the agent ended with the service' (-not (Get-Process -Id $agent -ErrorAction SilentlyContinue)) }
Check 'program files removed' (-not (Test-Path $installRoot))
Check 'service.json removed, what the service wrote kept' (-not (Test-Path "$private\service.json") -and (Test-Path $hostLog))
Check 'the private folder left behind stays protected' ((Get-Acl $private).Sddl -notmatch ';;;(BU|AU|WD|CO)\)') (Get-Acl $private).Sddl

if ($script:failures -gt 0) { Write-Host "$($script:failures) check(s) failed"; exit 1 }
Write-Host 'all checks passed'
